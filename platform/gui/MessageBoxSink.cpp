#include "platform/gui/MessageBoxSink.h"

#include <QMessageBox>

void MessageBoxSink::Show(const QString& text, const QString& caption)
{
    // A hidden parent would hide the box's position too; such a box centres
    // on the screen instead.
    QWidget* parent = parent_ && parent_->isVisible() ? parent_.data() : nullptr;
    QMessageBox box(QMessageBox::NoIcon, caption.isEmpty() ? kTitle : caption, text,
                    QMessageBox::Ok, parent);
    // The box reads in its text's direction: right to left for the Arabic
    // texts, left to right for the English technical ones.
    box.setLayoutDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void SwitchingMessageSink::Show(const QString& text, const QString& caption)
{
    target_->SetContext(Context());
    target_->Show(text, caption);
}
