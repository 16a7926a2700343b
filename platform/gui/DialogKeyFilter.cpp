#include "platform/gui/DialogKeyFilter.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QWidget>

namespace {

bool IsEnterOrEscape(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

} // namespace

DialogKeyFilter::DialogKeyFilter(QWidget& dialog) : QObject(&dialog), dialog_(dialog) {}

DialogKeyFilter* DialogKeyFilter::Install(QWidget& dialog)
{
    auto* filter = new DialogKeyFilter(dialog);
    dialog.installEventFilter(filter);
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>();
    for (QWidget* control : controls)
        control->installEventFilter(filter);
    return filter;
}

bool DialogKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (!IsEnterOrEscape(event))
        return false;
    // A key that a control left unused travels up to the dialog, which would
    // press the default button or reject; a button would click itself.
    if (watched == &dialog_ || qobject_cast<QAbstractButton*>(watched)) {
        event->accept();
        return true;
    }
    return false;
}
