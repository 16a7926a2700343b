#include "GuiTestKit.h"
#include "TestDatabase.h"

#include "platform/MessageSink.h"
#include "platform/gui/DialogTemplate.h"
#include "resources/OperatorTexts.h"
#include "resources/ResourceIds.h"
#include "settings/gui/CConfigDlg.h"
#include "store/ConnectionString.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>

using guitest::Click;
using guitest::TypeInto;
using testsupport::DeviceFixture;
using testsupport::TestDatabase;

namespace {

QString Guid(int n)
{
    return QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0'));
}

} // namespace

// The settings dialog typed into and clicked, with the suite's device table
// of the test database behind Test connection.
class TestSettingsDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void showsTheListInStoredOrder();
    void fitsTheScreenWithItsButtons();
    void saveKeepsTicksAndTheOrder();
    void testConnectionKeepsTicksAndOrder();
    void testConnectionNeedsServerUserAndPassword_data();
    void testConnectionNeedsServerUserAndPassword();
    void refusedLoginShowsTheDriverText();
    void cancelAfterTestLeavesTheListAlone();
    void saveWithoutRowsEmptiesTheList();
    void saveAsksBeforeReplacingValuesSetPerDevice_data();
    void saveAsksBeforeReplacingValuesSetPerDevice();

private:
    CConnServer Device(const QString& id, const QString& name, const char* isCheck) const;
    static QStringList Rows(const QDialog& dialog);
    static QList<bool> Ticks(const QDialog& dialog);

    TestDatabase testDb_;
    RecordingMessageSink messages_;
};

void TestSettingsDialog::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestSettingsDialog::init()
{
    messages_.messages.clear();
    QVERIFY2(testDb_.Reset(), qPrintable(testDb_.LastError()));
    // The server hands these back in this order.
    QVERIFY2(testDb_.InsertDevices({
                 {Guid(1), QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("127.0.0.1"),
                  4370, 0, 1},
                 {Guid(2), QStringLiteral("2"), QStringLiteral("B"), QStringLiteral("127.0.0.1"),
                  4371, 0, 1},
                 {Guid(9), QStringLiteral("9"), QStringLiteral("Printer"),
                  QStringLiteral("127.0.0.1"), 9100, 0, 2},
                 {Guid(3), QStringLiteral("3"), QStringLiteral("C"), QStringLiteral("127.0.0.1"),
                  4372, 0, 1},
             }),
             qPrintable(testDb_.LastError()));
}

CConnServer TestSettingsDialog::Device(const QString& id, const QString& name,
                                       const char* isCheck) const
{
    CConnServer record = testDb_.Record();
    record.DeviceId = id;
    record.Name = name;
    record.IsCheck = QString::fromLatin1(isCheck);
    record.IsDeleteFile = QStringLiteral("1");
    record.FilePath = QStringLiteral("/srv/export");
    return record;
}

QStringList TestSettingsDialog::Rows(const QDialog& dialog)
{
    const auto* list = FindControl<QTreeWidget>(dialog, resid::config::kDeviceList);
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows.append(list->topLevelItem(i)->text(0));
    return rows;
}

QList<bool> TestSettingsDialog::Ticks(const QDialog& dialog)
{
    const auto* list = FindControl<QTreeWidget>(dialog, resid::config::kDeviceList);
    QList<bool> ticks;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        ticks.append(list->topLevelItem(i)->checkState(0) == Qt::Checked);
    return ticks;
}

void TestSettingsDialog::showsTheListInStoredOrder()
{
    CConnServer other = Device(Guid(2), QStringLiteral("B"), "0");
    other.Server.clear(); // leaves the connection edits as they were
    other.FilePath = QStringLiteral("/srv/last");
    CConnServerList devices = {Device(Guid(1), QStringLiteral("A"), "1"), other};
    devices.first().DbName = QStringLiteral("hr");
    CConfigDlg dialog(devices, messages_);
    QCOMPARE(Rows(dialog), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(Ticks(dialog), (QList<bool>{true, false}));
    QCOMPARE(FindControl<QLineEdit>(dialog, resid::config::kServerEdit)->text(), testDb_.Server());
    QCOMPARE(FindControl<QLineEdit>(dialog, resid::config::kDbEdit)->text(), QStringLiteral("hr"));
    QCOMPARE(FindControl<QLineEdit>(dialog, resid::config::kPathEdit)->text(),
             QStringLiteral("/srv/last"));
    QVERIFY(FindControl<QCheckBox>(dialog, resid::config::kDeleteFileCheck)->isChecked());
    QVERIFY(FindControl<QWidget>(dialog, resid::config::kDbCombo)->isHidden());
    QVERIFY(FindControl<QWidget>(dialog, resid::config::kBrowseLabel)->isHidden());
}

void TestSettingsDialog::fitsTheScreenWithItsButtons()
{
    // Also registered with every pixel doubled (test_settings_dialog_scaled):
    // a screen of 400 by 400 pixels of the dialog.
    CConnServerList devices = {Device(Guid(1), QStringLiteral("A"), "1")};
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect screen = dialog.screen()->availableGeometry();
    const auto where = [](const QRect& r) {
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    QVERIFY2(screen.contains(dialog.frameGeometry()),
             qPrintable(where(dialog.frameGeometry()) + QStringLiteral(" on ") + where(screen)));
    for (const int id : {resid::kOk, resid::kCancel}) {
        const QWidget* button = FindControl<QWidget>(dialog, id);
        const QRect shown(button->mapToGlobal(QPoint(0, 0)), button->size());
        QVERIFY2(button->isVisible() && screen.contains(shown),
                 qPrintable(where(shown) + QStringLiteral(" on ") + where(screen)));
    }
    QVERIFY(dialog.minimumSize() != dialog.maximumSize());
}

void TestSettingsDialog::saveKeepsTicksAndTheOrder()
{
    CConnServerList devices = {Device(Guid(1), QStringLiteral("A"), "1"),
                               Device(Guid(2), QStringLiteral("B"), "0"),
                               Device(Guid(3), QStringLiteral("C"), "1")};
    // The dialog does not show driver options; saving keeps them.
    devices[2].DriverOptions = QStringLiteral("Encrypt=yes");
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    TypeInto(FindControl<QLineEdit>(dialog, resid::config::kDbEdit), QStringLiteral("hr2"));
    auto* deleteFile = FindControl<QCheckBox>(dialog, resid::config::kDeleteFileCheck);
    deleteFile->setFocus();
    QTest::keyClick(deleteFile, Qt::Key_Space);
    Click(FindControl<QPushButton>(dialog, resid::kOk));

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(devices.size(), 3);
    const QStringList names = {devices[0].Name, devices[1].Name, devices[2].Name};
    QCOMPARE(names, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    const QStringList checks = {devices[0].IsCheck, devices[1].IsCheck, devices[2].IsCheck};
    QCOMPARE(checks, (QStringList{QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1")}));
    for (const CConnServer& record : devices) {
        QCOMPARE(record.DbName, QStringLiteral("hr2"));
        QCOMPARE(record.IsDeleteFile, QStringLiteral("0"));
        QCOMPARE(record.Pass, testDb_.Pass());
        QCOMPARE(record.DriverOptions, QStringLiteral("Encrypt=yes"));
        QCOMPARE(record.ConnStr, BuildConnStr(record));
    }
    QCOMPARE(devices[0].DeviceId, Guid(1));
    // The edits were shared by all; the hidden driver options were C's alone,
    // and Save asked before giving them to A and B.
    const QString field = QStringLiteral(": ") + optext::kFieldDriverOptions;
    QCOMPARE(messages_.messages, QStringList{optext::kSaveUnifies.arg(
                                     QStringLiteral("A") + field + QStringLiteral("\nB") + field)});
}

void TestSettingsDialog::testConnectionKeepsTicksAndOrder()
{
    // B and A are listed again (A renamed since), Old no more, C is new.
    CConnServerList devices = {Device(Guid(2), QStringLiteral("B"), "1"),
                               Device(Guid(7), QStringLiteral("Old"), "1"),
                               Device(Guid(1), QStringLiteral("A before"), "0")};
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Click(FindControl<QPushButton>(dialog, resid::config::kTestButton));
    // A test that succeeds says what it found: three terminals of kind 1.
    QCOMPARE(messages_.messages,
             QStringList{optext::kTestConnectionListed.arg(QLocale().toString(3))});
    QCOMPARE(Rows(dialog),
             (QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")}));
    QCOMPARE(Ticks(dialog), (QList<bool>{true, false, false}));

    // Tick C with the keyboard and save: the rows become the device list.
    auto* list = FindControl<QTreeWidget>(dialog, resid::config::kDeviceList);
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(2));
    QTest::keyClick(list->viewport(), Qt::Key_Space);
    Click(FindControl<QPushButton>(dialog, resid::kOk));
    QCOMPARE(devices.size(), 3);
    QCOMPARE(devices[2].Name, QStringLiteral("C"));
    QCOMPARE(devices[2].DeviceId, Guid(3));
    const QStringList checks = {devices[0].IsCheck, devices[1].IsCheck, devices[2].IsCheck};
    QCOMPARE(checks, (QStringList{QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1")}));
}

void TestSettingsDialog::testConnectionNeedsServerUserAndPassword_data()
{
    QTest::addColumn<int>("blanked"); // the edit typed over with blanks
    QTest::newRow("server") << resid::config::kServerEdit;
    QTest::newRow("user") << resid::config::kUserEdit;
    QTest::newRow("password") << resid::config::kPassEdit;
}

void TestSettingsDialog::testConnectionNeedsServerUserAndPassword()
{
    QFETCH(int, blanked);
    CConnServerList devices = {Device(Guid(1), QStringLiteral("A"), "1"),
                               Device(Guid(2), QStringLiteral("B"), "1")};
    const CConnServerList before = devices;
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    TypeInto(FindControl<QLineEdit>(dialog, blanked), QStringLiteral("  "));
    QVERIFY(!dialog.ValidateConnection());
    Click(FindControl<QPushButton>(dialog, resid::config::kTestButton));
    QCOMPARE(messages_.messages, QStringList(2, optext::kIncompleteConnection));
    QCOMPARE(Rows(dialog), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(Ticks(dialog), (QList<bool>{true, true}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(devices, before);
}

void TestSettingsDialog::refusedLoginShowsTheDriverText()
{
    CConnServerList devices = {Device(Guid(1), QStringLiteral("A"), "1")};
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    TypeInto(FindControl<QLineEdit>(dialog, resid::config::kPassEdit), QStringLiteral("wrong"));
    Click(FindControl<QPushButton>(dialog, resid::config::kTestButton));
    QCOMPARE(messages_.messages.size(), 1);
    // What to check first, then the driver's own words.
    QVERIFY2(messages_.messages.first().startsWith(optext::kTestConnectionFailed) &&
                 messages_.messages.first().contains(
                     testDb_.Says(testsupport::DriverSays::WrongPassword), Qt::CaseInsensitive),
             qPrintable(messages_.messages.first()));
    QVERIFY(dialog.isVisible());
    QCOMPARE(Rows(dialog), QStringList{QStringLiteral("A")});

    // Corrected, the same dialog lists the devices.
    TypeInto(FindControl<QLineEdit>(dialog, resid::config::kPassEdit), testDb_.Pass());
    Click(FindControl<QPushButton>(dialog, resid::config::kTestButton));
    QCOMPARE(Rows(dialog).size(), 3);
}

void TestSettingsDialog::cancelAfterTestLeavesTheListAlone()
{
    CConnServerList devices = {Device(Guid(1), QStringLiteral("A"), "1"),
                               Device(Guid(5), QStringLiteral("E"), "0")};
    const CConnServerList before = devices;
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Click(FindControl<QPushButton>(dialog, resid::config::kTestButton));
    QCOMPARE(Rows(dialog).size(), 3);
    Click(FindControl<QPushButton>(dialog, resid::kCancel));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(devices, before);
}

void TestSettingsDialog::saveWithoutRowsEmptiesTheList()
{
    CConnServerList devices;
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    TypeInto(FindControl<QLineEdit>(dialog, resid::config::kServerEdit), QStringLiteral("db1"));
    Click(FindControl<QPushButton>(dialog, resid::kOk));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(devices.isEmpty());
}

void TestSettingsDialog::saveAsksBeforeReplacingValuesSetPerDevice_data()
{
    QTest::addColumn<int>("own");    // devices with an export folder of their own
    QTest::addColumn<int>("listed"); // of those, the ones the question names
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("nine, all named") << 9 << 9;
    QTest::newRow("twenty, eight named and a count") << 20 << 8;
}

void TestSettingsDialog::saveAsksBeforeReplacingValuesSetPerDevice()
{
    QFETCH(int, own);
    QFETCH(int, listed);
    // These have export folders of their own (set with zelvor-settings); the
    // dialog shows the last device's, and Save would write it into them.
    CConnServerList devices;
    QStringList lines;
    for (int n = 1; n <= own; ++n) {
        devices.append(Device(Guid(n), QStringLiteral("Gate %1").arg(n), "1"));
        devices.last().FilePath = QStringLiteral("/srv/gate-%1").arg(n);
        if (n <= listed)
            lines.append(QStringLiteral("Gate %1: ").arg(n) + optext::kFieldExportFolder);
    }
    if (listed < own)
        lines.append(optext::kSaveUnifiesMore.arg(QLocale().toString(own - listed)));
    devices.append(Device(Guid(99), QStringLiteral("Last"), "1"));
    const CConnServerList before = devices;
    CConfigDlg dialog(devices, messages_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    messages_.answer = false;
    Click(FindControl<QPushButton>(dialog, resid::kOk));
    QCOMPARE(messages_.messages,
             QStringList{optext::kSaveUnifies.arg(lines.join(QLatin1Char('\n')))});
    QVERIFY(dialog.isVisible());
    QCOMPARE(devices, before);

    messages_.answer = true;
    Click(FindControl<QPushButton>(dialog, resid::kOk));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(devices[0].FilePath, QStringLiteral("/srv/export"));
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings_dialog.moc"
