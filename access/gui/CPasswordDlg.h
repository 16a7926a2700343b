#pragma once

#include "access/PasswordGate.h"

#include <QDialog>

#include <memory>

namespace Ui {
class PasswordDialogForm;
}

// The start-up password prompt (template 1069): a masked edit and an OK
// button. OK keeps the typed text; closing the window or Escape cancels.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordDlg(QWidget* parent = nullptr);
    ~CPasswordDlg() override;

    // The text captured by OK; empty before.
    const QString& EnteredText() const { return entered_; }

    void accept() override;

private:
    std::unique_ptr<Ui::PasswordDialogForm> ui_;
    QString entered_;
};

// The password gate's prompt as a dialog: OK returns the typed text, any other
// end the empty text.
class DialogPasswordPrompt : public PasswordPrompt {
public:
    explicit DialogPasswordPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    QString PromptPassword() override;

private:
    QWidget* parent_;
};
