#include "access/gui/CPasswordDlg.h"

#include "platform/gui/DialogTemplate.h"
#include "platform/gui/QtTranslations.h"
#include "ui_PasswordDlg.h"

CPasswordDlg::CPasswordDlg(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PasswordDialogForm>())
{
    ui_->setupUi(this);
    SetUpDialog(*this);
    ui_->okButton_1->setText(StandardOkText()); // in the operator's language
    connect(ui_->okButton_1, &QPushButton::clicked, this, &QDialog::accept);
    // The password field starts with the focus, so what the operator types
    // at once goes into it (with the focus on OK the keys went nowhere and
    // Enter sent an empty password).
    ui_->passwordEdit_1051->setFocus();
}

CPasswordDlg::~CPasswordDlg() = default;

void CPasswordDlg::accept()
{
    entered_ = ui_->passwordEdit_1051->text();
    QDialog::accept();
}

QString DialogPasswordPrompt::PromptPassword()
{
    CPasswordDlg dialog(parent_);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.EnteredText();
}
