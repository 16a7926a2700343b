#include "GuiTestKit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace guitest {

void WhenModalOpens(const std::function<void(QDialog&)>& action, bool* done, int timeoutMs)
{
    const QPointer<QWidget> already = QApplication::activeModalWidget();
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        const bool ready = dialog && dialog != already && dialog->isVisible();
        if (!ready && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (!ready)
            return;
        action(*dialog);
        if (done)
            *done = true;
        // A failed check inside the action must not leave the test waiting
        // on a dialog that nobody closes.
        if (QTest::currentTestFailed() && dialog && dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

void Click(QWidget* control)
{
    QVERIFY(control);
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

void TypeInto(QWidget* edit, const QString& text)
{
    QVERIFY(edit);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    // keyClicks knows only ASCII keys; other letters come as text events, as
    // an input method delivers them.
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(edit, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

QStringList ClippedTexts(const QWidget& dialog)
{
    QStringList clipped;
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>();
    for (const QWidget* control : controls) {
        if (control->isHidden())
            continue;
        QString text;
        QSize needed;
        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            text = label->text();
            needed = label->sizeHint();
        } else if (const auto* check = qobject_cast<const QCheckBox*>(control)) {
            text = check->text();
            needed = check->sizeHint();
        } else if (const auto* button = qobject_cast<const QPushButton*>(control)) {
            // The text and a little room for the button's frame.
            text = button->text();
            const QFontMetrics metrics(button->font());
            needed = QSize(metrics.horizontalAdvance(text) + 8, metrics.height());
        } else {
            continue;
        }
        if (needed.width() > control->width() || needed.height() > control->height())
            clipped.append(QStringLiteral("%1 (%2 needs %3x%4, has %5x%6)")
                               .arg(text, control->objectName())
                               .arg(needed.width())
                               .arg(needed.height())
                               .arg(control->width())
                               .arg(control->height()));
    }
    return clipped;
}

} // namespace guitest
