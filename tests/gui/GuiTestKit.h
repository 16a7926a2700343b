#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QAbstractButton;
class QWidget;

// Helpers for driving dialogs as an operator does, on the offscreen platform.
namespace guitest {

// Runs action on the next modal dialog that opens (within timeoutMs), e.g. to
// type into it and press its buttons while its exec() runs. The action gets
// the dialog; done is set once it has run. A modal window that is open
// already (the main window) is not the one waited for.
void WhenModalOpens(const std::function<void(QDialog&)>& action, bool* done = nullptr,
                    int timeoutMs = 5000);

// Clicks a control with the mouse in its middle.
void Click(QWidget* control);

// Replaces an edit's text by typing, as an operator would after selecting it all.
void TypeInto(QWidget* edit, const QString& text);

// Texts of labels, buttons and check boxes that do not fit their control.
QStringList ClippedTexts(const QWidget& dialog);

} // namespace guitest
