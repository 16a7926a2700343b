#pragma once

#include "store/Database.h"
#include "store/DeviceQueries.h"
#include "store/Records.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ConfigDialogForm;
}
class MessageSink;

// The settings dialog (template 1048): the database connection, the export
// path and its delete flag, and the terminals to offer, ticked in a list that
// Test connection brings in line with the suite's device table (ticks and
// order of the terminals listed again are kept). It edits the main
// window's device list in place on Save and leaves it alone otherwise; it
// writes no file. It has a database connection of its own. It can be
// resized and starts no larger than the screen; on a small one the form
// above Save and Cancel scrolls.
class CConfigDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDeviceIdRole = Qt::UserRole;

    // devices must outlive the dialog.
    CConfigDlg(CConnServerList& devices, MessageSink& messages, QWidget* parent = nullptr);
    ~CConfigDlg() override;

    // Takes the connection edits into the working record and builds its
    // connection string; true when server, user and password are all given
    // (blanks around them do not count), else shows why and returns false.
    bool ValidateConnection();

    // Save: every row becomes a device record carrying the connection
    // settings of the edits, in the rows' top-to-bottom order. Where the
    // stored devices differ in those settings, the operator is told which
    // devices and fields Save would change, and may cancel.
    void accept() override;

private:
    void OnTestConnection();
    // Brings the rows in line with the terminals the suite lists now.
    void ShowListedDevices(QList<DeviceRow> listed);
    void FillFromDevices();
    void InsertRow(int position, const QString& name, const QString& deviceId, bool checked);
    void ReadConnectionEdits();

    std::unique_ptr<Ui::ConfigDialogForm> ui_;
    CConnServerList& devices_;
    MessageSink& messages_;
    Database db_;
    CConnServer scratch_;
};
