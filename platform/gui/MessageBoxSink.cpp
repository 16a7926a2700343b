#include "platform/gui/MessageBoxSink.h"

#include "platform/WorkThread.h"
#include "resources/Isolated.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QThread>

namespace {

// A fault's Arabic text leads with what happened and what to do, and keeps
// its technical lines (English, or with a reason in Qt's Arabic words) after
// a blank line; in a right-to-left box, each such line reads in its own
// direction, its addresses and parentheses in place. Lines written for a log
// go through another sink and keep their text as it is.
QString BoxText(const QString& text)
{
    const qsizetype blank = text.indexOf(QStringLiteral("\n\n"));
    if (blank < 0 || !text.isRightToLeft())
        return text;
    return text.left(blank + 2) + Isolated(text.mid(blank + 2));
}

} // namespace

void MessageBoxSink::Show(const QString& text, const QString& caption)
{
    Run(text, caption, false);
}

bool MessageBoxSink::Ask(const QString& text, const QString& caption)
{
    return Run(text, caption, true) == QMessageBox::Yes;
}

int MessageBoxSink::Run(const QString& text, const QString& caption, bool question)
{
    // A box belongs to the window's thread; a run on a thread of its own
    // waits there until the operator has read it.
    if (QThread::currentThread() != qApp->thread()) {
        int result = 0;
        RunOnThreadOf(qApp, [&] { result = Run(text, caption, question); });
        return result;
    }
    // A hidden parent would hide the box's position too; such a box centres
    // on the screen instead.
    QWidget* parent = parent_ && parent_->isVisible() ? parent_.data() : nullptr;
    QMessageBox box(QMessageBox::NoIcon, caption.isEmpty() ? kTitle : caption, BoxText(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    if (question)
        box.setDefaultButton(QMessageBox::No);
    // The box reads in its text's direction: right to left for the Arabic
    // texts, left to right for the English technical ones.
    box.setLayoutDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    box.setWindowModality(Qt::ApplicationModal);
    // A short text ("اختر جهاز") would give a box too narrow for its title
    // bar to show the title.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(box.fontMetrics().averageCharWidth() * 36, 0,
                                      QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec();
}

void SwitchingMessageSink::Show(const QString& text, const QString& caption)
{
    target_->SetContext(Context());
    target_->Show(text, caption);
}

bool SwitchingMessageSink::Ask(const QString& text, const QString& caption)
{
    target_->SetContext(Context());
    return target_->Ask(text, caption);
}
