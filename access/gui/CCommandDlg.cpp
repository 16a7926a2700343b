#include "access/gui/CCommandDlg.h"

#include "access/CommandText.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/QtTranslations.h"
#include "ui_CommandDlg.h"

CCommandDlg::CCommandDlg(const QString& exePath, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CommandDialogForm>())
{
    ui_->setupUi(this);
    SetUpDialog(*this);
    ui_->okButton_1->setText(StandardOkText()); // in the operator's language
    connect(ui_->okButton_1, &QPushButton::clicked, this, &QDialog::accept);
    ui_->commandEdit_1071->setText(AllDevicesCommand(exePath));
    ui_->commandEdit_1071->setCursorPosition(0);
    ui_->okButton_1->setFocus();
}

CCommandDlg::~CCommandDlg() = default;

QString CCommandDlg::CommandText() const
{
    return ui_->commandEdit_1071->text();
}
