#pragma once

#include <QObject>

class QWidget;

// Keeps Enter and Escape from ending a dialog: a key press of either goes to
// the control that has the focus, which may use it (a drop-down closes its
// list), and never reaches the dialog's default or cancel handling. Buttons
// do not react to these keys either, so Enter never presses the focused or the
// default button. Installed on the dialog and every control in it.
class DialogKeyFilter : public QObject {
    Q_OBJECT
public:
    // Installs a filter owned by dialog on it and its controls.
    static DialogKeyFilter* Install(QWidget& dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DialogKeyFilter(QWidget& dialog);
    QWidget& dialog_;
};
