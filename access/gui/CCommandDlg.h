#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CommandDialogForm;
}

// Shows the command line that starts the all-devices run (template 1070), for
// the operator to copy into a scheduler. The text can be selected and edited;
// nothing reads it back.
class CCommandDlg : public QDialog {
    Q_OBJECT
public:
    // exePath: the running program; the edit stays empty when it is empty.
    explicit CCommandDlg(const QString& exePath, QWidget* parent = nullptr);
    ~CCommandDlg() override;

    QString CommandText() const;

private:
    std::unique_ptr<Ui::CommandDialogForm> ui_;
};
