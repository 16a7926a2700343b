#include "settings/gui/CConfigDlg.h"

#include "platform/MessageSink.h"
#include "platform/gui/DialogTemplate.h"
#include "resources/OperatorTexts.h"
#include "settings/SharedFields.h"
#include "store/ConnectionString.h"
#include "store/DeviceQueries.h"
#include "ui_ConfigDlg.h"

#include <QHeaderView>
#include <QLocale>

namespace {

const QString kOn = QStringLiteral("1");
const QString kOff = QStringLiteral("0");

// The devices Save would change, a line each, as Save's question lists them:
// the first eight, then how many more, so that the box and its buttons stay
// on the screen however many devices there are.
QString ChangedDevicesText(const QStringList& lines)
{
    constexpr qsizetype kListed = 8;
    // One line more than that takes no more room than saying so.
    if (lines.size() <= kListed + 1)
        return lines.join(QLatin1Char('\n'));
    const QString more = optext::kSaveUnifiesMore.arg(QLocale().toString(lines.size() - kListed));
    return (lines.first(kListed) + QStringList{more}).join(QLatin1Char('\n'));
}

} // namespace

CConfigDlg::CConfigDlg(CConnServerList& devices, MessageSink& messages, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ConfigDialogForm>()), devices_(devices),
      messages_(messages)
{
    ui_->setupUi(this);
    QTreeWidget* list = ui_->deviceList_1067;
    // About four rows at the least: where the screen is too small for the
    // whole form, the form scrolls rather than squeezing the list away.
    list->setMinimumHeight(4 * (list->fontMetrics().height() + 4) + 2 * list->frameWidth());
    SetUpDialog(*this);

    list->setLayoutDirection(Qt::RightToLeft);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->headerItem()->setTextAlignment(0, Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    list->header()->setStretchLastSection(true);

    connect(ui_->saveButton_1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->cancelButton_2, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->testButton_1059, &QPushButton::clicked, this, &CConfigDlg::OnTestConnection);

    FillFromDevices();
}

CConfigDlg::~CConfigDlg() = default;

void CConfigDlg::InsertRow(int position, const QString& name, const QString& deviceId, bool checked)
{
    auto* row = new QTreeWidgetItem(QStringList{name});
    row->setData(0, kDeviceIdRole, deviceId);
    row->setTextAlignment(0, Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    ui_->deviceList_1067->insertTopLevelItem(position, row);
}

void CConfigDlg::FillFromDevices()
{
    // The rows show the devices in their stored order, so a Save that changes
    // nothing keeps config.ini's order (the all-devices run follows it). The
    // edits show the last record that has a server.
    QTreeWidget* list = ui_->deviceList_1067;
    for (const CConnServer& record : devices_) {
        InsertRow(list->topLevelItemCount(), record.Name, record.DeviceId, record.IsCheck == kOn);
        if (!record.Server.isEmpty()) {
            ui_->serverEdit_1045->setText(record.Server);
            ui_->userEdit_1050->setText(record.User);
            ui_->passEdit_1051->setText(record.Pass);
            ui_->dbEdit_1052->setText(record.DbName);
            // Not shown; kept so that saving the dialog does not drop them.
            scratch_.DriverOptions = record.DriverOptions;
            scratch_.Driver = record.Driver;
        }
        ui_->pathEdit_1008->setText(record.FilePath);
        if (record.IsDeleteFile == kOn)
            ui_->deleteFileCheck_1068->setChecked(true);
    }
}

void CConfigDlg::ReadConnectionEdits()
{
    scratch_.Server = ui_->serverEdit_1045->text();
    scratch_.User = ui_->userEdit_1050->text();
    scratch_.Pass = ui_->passEdit_1051->text();
    scratch_.DbName = ui_->dbEdit_1052->text();
}

bool CConfigDlg::ValidateConnection()
{
    ReadConnectionEdits();
    // Built before trimming: the string carries the values as typed.
    scratch_.ConnStr = BuildConnStr(scratch_);
    scratch_.Server = scratch_.Server.trimmed();
    scratch_.User = scratch_.User.trimmed();
    scratch_.Pass = scratch_.Pass.trimmed();
    if (!scratch_.Server.isEmpty() && !scratch_.User.isEmpty() && !scratch_.Pass.isEmpty())
        return true;
    messages_.Show(optext::kIncompleteConnection);
    return false;
}

void CConfigDlg::OnTestConnection()
{
    if (!ValidateConnection())
        return;
    std::optional<QList<DeviceRow>> rows;
    try {
        rows = ListDevices(db_, scratch_.ConnStr, messages_);
    } catch (const DatabaseError& error) {
        // The whole result is read before the list changes, so a failure
        // anywhere leaves the rows as they were.
        messages_.Show(optext::kTestConnectionFailed + QStringLiteral("\n\n") + error.Text());
        return;
    }
    if (!rows)
        return;
    const qsizetype listed = rows->size();
    ShowListedDevices(*rows);
    messages_.Show(optext::kTestConnectionListed.arg(QLocale().toString(listed)));
}

void CConfigDlg::ShowListedDevices(QList<DeviceRow> listed)
{
    // A row whose terminal is listed again keeps its place and its tick, and
    // takes the name the suite gives it now; a row listed no more goes. Each
    // listed terminal matches one row at most.
    QTreeWidget* list = ui_->deviceList_1067;
    for (int index = 0; index < list->topLevelItemCount();) {
        QTreeWidgetItem* row = list->topLevelItem(index);
        const QString id = row->data(0, kDeviceIdRole).toString();
        // Ids are GUID texts, which drivers give in either letter case.
        const auto match = std::find_if(listed.begin(), listed.end(), [&id](const DeviceRow& d) {
            return d.ID.compare(id, Qt::CaseInsensitive) == 0;
        });
        if (match == listed.end()) {
            delete list->takeTopLevelItem(index);
            continue;
        }
        row->setText(0, match->Name);
        listed.erase(match);
        ++index;
    }
    // Terminals new to the list follow, unticked, in the suite's order.
    for (const DeviceRow& device : listed)
        InsertRow(list->topLevelItemCount(), device.Name, device.ID, false);
}

void CConfigDlg::accept()
{
    ReadConnectionEdits();
    scratch_.FilePath = ui_->pathEdit_1008->text();
    scratch_.IsDeleteFile = ui_->deleteFileCheck_1068->isChecked() ? kOn : kOff;
    // Each record carries the connection string of the settings it holds, not
    // that of an earlier test with other values.
    scratch_.ConnStr = BuildConnStr(scratch_);
    // Values set per device are replaced only when the operator says so.
    const QStringList unified = FieldsSaveUnifies(devices_, scratch_);
    if (!unified.isEmpty() && !messages_.Ask(optext::kSaveUnifies.arg(ChangedDevicesText(unified))))
        return;
    devices_.clear();
    QTreeWidget* list = ui_->deviceList_1067;
    for (int index = 0; index < list->topLevelItemCount(); ++index) {
        const QTreeWidgetItem* row = list->topLevelItem(index);
        scratch_.IsCheck = row->checkState(0) == Qt::Checked ? kOn : kOff;
        scratch_.DeviceId = row->data(0, kDeviceIdRole).toString();
        scratch_.Name = row->text(0);
        devices_.append(scratch_);
    }
    QDialog::accept();
}
