#include "GuiTestKit.h"
#include "Rig.h"
#include "TempDir.h"

#include "access/CommandText.h"
#include "access/PasswordGate.h"
#include "app/LastSuccess.h"
#include "app/MainController.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/Clock.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "platform/NotificationSink.h"
#include "platform/Progress.h"
#include "platform/gui/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "settings/SettingsFile.h"
#include "terminal/ConnectDevice.h"
#include "terminal/ExportFile.h"
#include "terminal/NetTerminalLink.h"

#include <algorithm>

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using guitest::Click;
using guitest::WhenModalOpens;
using testsupport::TestDatabase;

namespace {

const QString kGateA = QStringLiteral("البوابة أ");
const QString kGateB = QStringLiteral("Gate B");
const QString kProgramPath = QStringLiteral("/opt/Attendance Tools/zelvor");

class FixedPrompt : public PasswordPrompt {
public:
    QString PromptPassword() override { return QStringLiteral("secret"); }
};

} // namespace

// The main window driven as an operator drives it, with the run control
// behind it, simulated terminals and the test database.
class TestMainDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsWithTextsAndNoSelection();
    void connectTwiceTogglesTheCaption();
    void pullAfterConnectingPostsThePunches_data();
    void pullAfterConnectingPostsThePunches();
    void pullBeforeConnectingReportsFive();
    void cancelAnswersAtOnceAndTellsTheTruth();
    void choosingAnotherDeviceDisconnects();
    void aPullAfterSaveStaysWithTheLinkedDevice();
    void aLinkTheTerminalEndsShowsAtOnceAndIsOpenedAgain();
    void emptyEntryAsksForADevice();
    void enterAndEscapeKeepTheDialogOpen_data();
    void enterAndEscapeKeepTheDialogOpen();
    void settingsSaveAndCancel_data();
    void settingsSaveAndCancel();
    void settingsThatCannotBeSavedKeepTheList();
    void commandButtonShowsTheCommand();
    void trayDoubleClickRestoresTheWindow();

private:
    void Open(const CConnServerList& devices);
    void ChooseDevice(const QString& name);
    QString Caption() const;
    // The window's terminal link.
    CTerminalLink& Link() const { return dialog_->Link(); }
    QString DevStatus() const;
    // The text of the pull's progress window (its outcome at the end).
    QString PullText() const;

    std::unique_ptr<Rig> rig_;
    CConnServerList devices_;
    RecordingMessageSink messages_;
    RecordingNotificationSink notes_;
    FixedPrompt prompt_;
    std::unique_ptr<FileRegistryStore> registry_;
    std::unique_ptr<ProgressReporter> progress_;
    std::unique_ptr<CZelvorDlg> dialog_;
    std::unique_ptr<MainController> controller_;
};

void TestMainDialog::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QApplication::setLayoutDirection(Qt::RightToLeft);
}

void TestMainDialog::init()
{
    rig_ = std::make_unique<Rig>();
    QVERIFY(rig_->install.Ready());
    QVERIFY2(rig_->db.Reset(), qPrintable(rig_->db.LastError()));
    const CConnServer a = rig_->AddDevice(1, kGateA, Rig::TodayPunches(QStringLiteral("A"), 5));
    const CConnServer b = rig_->AddDevice(2, kGateB, Rig::TodayPunches(QStringLiteral("B"), 3));
    QVERIFY2(!a.Name.isEmpty() && !b.Name.isEmpty(), qPrintable(rig_->Error()));
    devices_ = {a, b};
    messages_.messages.clear();
    notes_.calls.clear();
}

void TestMainDialog::cleanup()
{
    controller_.reset();
    dialog_.reset();
    progress_.reset();
    registry_.reset();
    rig_.reset();
}

// The program's interactive start on this installation: the password gate
// passes, the window shows.
void TestMainDialog::Open(const CConnServerList& devices)
{
    QVERIFY(rig_->install.WriteConfig(devices));
    registry_ = std::make_unique<FileRegistryStore>(rig_->install.RegistryRoot());
    progress_ = std::make_unique<ProgressReporter>(*registry_, notes_, stdout);
    dialog_ = std::make_unique<CZelvorDlg>(QDateTime::currentDateTime());
    controller_ = std::make_unique<MainController>(*dialog_, MainServices{dialog_->Link(),
                                                                          *progress_,
                                                                          messages_,
                                                                          systemClock(),
                                                                          *registry_,
                                                                          prompt_,
                                                                          rig_->install.Folder(),
                                                                          {}});
    dialog_->Attach(*controller_, messages_, kProgramPath);
    controller_->InitDialog({});
    controller_->OnStartRun();
    QVERIFY(!controller_->Report().endRequested);
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
}

// Picks a combo entry with the keyboard, as an operator does.
void TestMainDialog::ChooseDevice(const QString& name)
{
    auto* combo = FindControl<QComboBox>(*dialog_, resid::main::kDeviceCombo);
    const int wanted = combo->findText(name);
    QVERIFY(wanted >= 0);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < wanted; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentIndex(), wanted);
}

QString TestMainDialog::Caption() const
{
    return FindControl<QPushButton>(*dialog_, resid::main::kConnectButton)->text();
}

QString TestMainDialog::PullText() const
{
    QDialog* window = dialog_->ProgressWindow();
    return window && window->isVisible() ? window->findChild<QLabel*>()->text() : QString();
}

QString TestMainDialog::DevStatus() const
{
    return rig_->install.DevStatus();
}

void TestMainDialog::startsWithTextsAndNoSelection()
{
    Open(devices_);
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("الإتصال بالأجهزة-v2"));
    QCOMPARE(Caption(), QStringLiteral("الإتصال"));
    QCOMPARE(FindControl<QPushButton>(*dialog_, resid::main::kPullButton)->text(),
             QStringLiteral("سحب البيانات"));
    auto* combo = FindControl<QComboBox>(*dialog_, resid::main::kDeviceCombo);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), kGateA); // the settings file's order, not sorted
    QCOMPARE(combo->currentIndex(), -1);
    // The from-date is the first of the month at midnight; the to-date is now.
    const QDateTime from =
        FindControl<QDateTimeEdit>(*dialog_, resid::main::kFromPicker)->dateTime();
    QCOMPARE(from, FirstOfMonth(systemClock()));
    QCOMPARE(FindControl<QDateTimeEdit>(*dialog_, resid::main::kToPicker)->date(),
             QDate::currentDate());
    const QStringList clipped = guitest::ClippedTexts(*dialog_);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
}

void TestMainDialog::connectTwiceTogglesTheCaption()
{
    Open(devices_);
    ChooseDevice(kGateA);
    auto* connect = FindControl<QPushButton>(*dialog_, resid::main::kConnectButton);
    Click(connect);
    QCOMPARE(Caption(), optext::kDisconnectCaption);
    QVERIFY(Link().IsOpen());
    QCOMPARE(DevStatus(), progress::kConnected);
    QVERIFY(notes_.calls.first().added); // the first notification adds the icon
    QCOMPARE(notes_.calls.last().note.title, optext::kConnectedTitle);

    Click(connect);
    QCOMPARE(Caption(), optext::kConnectCaption);
    QVERIFY(!Link().IsOpen());
    QVERIFY(!notes_.calls.last().added);
    QVERIFY(messages_.messages.isEmpty());
}

void TestMainDialog::pullAfterConnectingPostsThePunches_data()
{
    QTest::addColumn<QString>("simOption"); // of a third terminal; empty: Gate B
    QTest::addColumn<int>("posted");
    QTest::newRow("sound terminal") << QString() << 3;
    QTest::newRow("stream cut: the link is lost") << QStringLiteral("--close-after=1") << 0;
}

void TestMainDialog::pullAfterConnectingPostsThePunches()
{
    // The device run of the all-devices run, over the operator's link: a
    // pull over the month so far counts as the device's last success.
    QFETCH(QString, simOption);
    QFETCH(int, posted);
    const QString gate = simOption.isEmpty() ? kGateB : QStringLiteral("Gate C");
    if (!simOption.isEmpty())
        devices_.append(
            rig_->AddDevice(3, gate, Rig::TodayPunches(QStringLiteral("B"), 3), {simOption}));
    Open(devices_);
    ChooseDevice(gate);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kConnectButton));
    QVERIFY(Link().IsOpen());
    Click(FindControl<QPushButton>(*dialog_, resid::main::kPullButton));
    const QList<testsupport::MovementRow> rows = rig_->db.Movements();
    QCOMPARE(rows.size(), posted);
    for (const testsupport::MovementRow& row : rows)
        QVERIFY(row.CardNb.startsWith(QLatin1Char('B')));
    QCOMPARE(ReadLastSuccess(*registry_, devices_.last().DeviceId).has_value(), posted > 0);
    // The outcome stays in the progress window until the operator closes it.
    const QString outcome = PullText();
    if (posted == 0) {
        QVERIFY(!Link().IsOpen());
        QCOMPARE(Caption(), optext::kConnectCaption);
        QVERIFY2(outcome.contains(optext::kPullFailed) &&
                     outcome.contains(optext::kOutcomeLinkClosed.arg(optext::kConnectCaption)),
                 qPrintable(outcome));
        return;
    }
    // Shown as the system writes paths (backslashes on Windows).
    const QString exportFile = QDir::toNativeSeparators(
        MakeExportPath(gate, devices_.last().FilePath, systemClock(), rig_->install.Folder()));
    for (const QString& line : {optext::kPulledAndPosted, optext::kOutcomeReceived.arg(3).arg(3),
                                optext::kOutcomePosted.arg(3), optext::kOutcomePresent.arg(0),
                                optext::kOutcomeRefused.arg(0), exportFile})
        QVERIFY2(outcome.contains(line), qPrintable(outcome + QStringLiteral(" lacks ") + line));
    Click(dialog_->ProgressWindow()->findChild<QPushButton*>());
    QTRY_VERIFY(!dialog_->ProgressWindow());
    QCOMPARE(DevStatus(), progress::kDownloaded);
    QVERIFY(Link().IsOpen()); // the link stays open
    QCOMPARE(Caption(), optext::kDisconnectCaption);
    QVERIFY2(messages_.messages.isEmpty(), qPrintable(messages_.messages.join(QLatin1Char('|'))));
}

void TestMainDialog::pullBeforeConnectingReportsFive()
{
    Open(devices_);
    ChooseDevice(kGateA);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kPullButton));
    QCOMPARE(DevStatus(), progress::kNotConnected);
    QCOMPARE(notes_.calls.last().note.title, optext::kNotConnectedTitle);
    QCOMPARE(notes_.calls.last().note.text, optext::kNotConnectedText);
    QVERIFY(rig_->db.Movements().isEmpty());
    QVERIFY(!Link().IsOpen());
}

void TestMainDialog::cancelAnswersAtOnceAndTellsTheTruth()
{
    // 200,000 punches at 40,000 a second, cancelled once 40,000 are in: the
    // rest would take 4 s, so the link ends, unless a client slower than the
    // terminal (staging into a slow database) finds the rest waiting in its
    // socket's buffers. Either way the window says what the link is.
    const QString gate = QStringLiteral("Gate C");
    devices_.append(rig_->AddGeneratedDevice(3, gate,
                                             {QStringLiteral("--count"), QStringLiteral("200000"),
                                              QStringLiteral("--rate"), QStringLiteral("40000")}));
    QVERIFY2(!devices_.last().Name.isEmpty(), qPrintable(rig_->Error()));
    // Shown as the system writes paths (backslashes on Windows).
    const QString exportFile = QDir::toNativeSeparators(
        MakeExportPath(gate, devices_.last().FilePath, systemClock(), rig_->install.Folder()));
    QVERIFY(testsupport::WriteBytes(exportFile, "previous\r\n"));
    Open(devices_);
    ChooseDevice(gate);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kConnectButton));
    QVERIFY(Link().IsOpen());

    // A tick every 10 ms on the window's thread: the longest pause between two
    // is the longest time the window did not answer.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QElapsedTimer sinceCancel;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] {
        longestPause = std::max(longestPause, sinceTick.restart());
        QDialog* window = dialog_->ProgressWindow();
        auto* bar = window ? window->findChild<QProgressBar*>() : nullptr;
        if (!sinceCancel.isValid() && bar && bar->value() >= 40000) {
            sinceCancel.start();
            Click(window->findChild<QPushButton*>());
        }
    });
    sinceTick.start();
    ticker.start();
    Click(FindControl<QPushButton>(*dialog_, resid::main::kPullButton));
    const qint64 toOutcome = sinceCancel.elapsed();
    ticker.stop();
    qInfo("longest pause of the window %lld ms; from Cancel to the outcome %lld ms; link %s",
          longestPause, toOutcome, Link().IsOpen() ? "kept" : "ended");
    QVERIFY(sinceCancel.isValid());
    QVERIFY2(longestPause < 500, qPrintable(QString::number(longestPause)));
    // The outcome waits for the rest of the stream (0.2 s at most) and for the
    // database to drop what was staged: more on a loaded machine.
    QVERIFY2(toOutcome < 1000, qPrintable(QString::number(toOutcome)));

    const QString outcome = PullText();
    QVERIFY2(outcome.contains(optext::kPullCancelled), qPrintable(outcome));
    const bool open = Link().IsOpen();
    QCOMPARE(outcome.contains(optext::kOutcomeLinkClosed.arg(optext::kConnectCaption)), !open);
    // There was an export file before, and it is kept.
    QVERIFY2(outcome.contains(optext::kExportKept), qPrintable(outcome));
    QCOMPARE(Caption(), open ? optext::kDisconnectCaption : optext::kConnectCaption);
    QVERIFY(rig_->db.Movements().isEmpty());
    QCOMPARE(testsupport::ReadBytes(exportFile), QByteArray("previous\r\n"));
    QVERIFY(rig_->Sim(3)->WaitForActive(true, 3000)); // the terminal takes punches again
    QVERIFY(messages_.messages.isEmpty());            // a cancel is the operator's own
}

void TestMainDialog::choosingAnotherDeviceDisconnects()
{
    Open(devices_);
    ChooseDevice(kGateA);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kConnectButton));
    QVERIFY(Link().IsOpen());
    ChooseDevice(kGateB);
    QVERIFY(!Link().IsOpen());
    QCOMPARE(Caption(), optext::kConnectCaption);
    QCOMPARE(controller_->Current().Name, kGateB);
    QCOMPARE(controller_->Run().SelectedName, kGateB);
    QVERIFY(messages_.messages.isEmpty());
}

void TestMainDialog::aPullAfterSaveStaysWithTheLinkedDevice()
{
    Open(devices_);
    ChooseDevice(kGateB);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kConnectButton));
    QVERIFY(Link().IsOpen());
    bool done = false;
    WhenModalOpens([](QDialog& settings) { Click(FindControl<QPushButton>(settings, resid::kOk)); },
                   &done);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kSettingsButton));
    QVERIFY(done);
    // The combo stays on the device the link is to, and so does the pull.
    QCOMPARE(FindControl<QComboBox>(*dialog_, resid::main::kDeviceCombo)->currentText(), kGateB);
    QCOMPARE(Caption(), optext::kDisconnectCaption);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kPullButton));
    const QList<testsupport::MovementRow> rows = rig_->db.Movements();
    QCOMPARE(rows.size(), 3);
    for (const testsupport::MovementRow& row : rows)
        QVERIFY(row.CardNb.startsWith(QLatin1Char('B')));
    QVERIFY(ReadLastSuccess(*registry_, devices_[1].DeviceId));
    QVERIFY(!ReadLastSuccess(*registry_, devices_[0].DeviceId));
    QVERIFY(!QFile::exists(
        MakeExportPath(kGateA, devices_[0].FilePath, systemClock(), rig_->install.Folder())));
}

void TestMainDialog::aLinkTheTerminalEndsShowsAtOnceAndIsOpenedAgain()
{
    // A terminal that ends a link idle for 1.5 s, well before the window's
    // keep-alive is due.
    const QString gate = QStringLiteral("Gate C");
    devices_.append(rig_->AddDevice(3, gate, Rig::TodayPunches(QStringLiteral("C"), 4),
                                    {QStringLiteral("--idle-timeout=1500")}));
    QVERIFY2(!devices_.last().Name.isEmpty(), qPrintable(rig_->Error()));
    Open(devices_);
    ChooseDevice(gate);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kConnectButton));
    QCOMPARE(Caption(), optext::kDisconnectCaption);
    // Seen by the window's look at the link after the terminal's end (within
    // a second of it; the bound is for a busy machine).
    QTRY_COMPARE_WITH_TIMEOUT(Caption(), optext::kConnectCaption, 30000);
    QCOMPARE(notes_.calls.last().note.text, optext::kLinkEndedByTerminal);
    // The pull connects again by itself.
    Click(FindControl<QPushButton>(*dialog_, resid::main::kPullButton));
    QCOMPARE(rig_->db.Movements().size(), 4);
    QVERIFY2(PullText().contains(optext::kPullReopened), qPrintable(PullText()));
    // The terminal ends the link opened again as well, during the pull's
    // posting or after it: the caption follows, and the operator is told,
    // by the pull's outcome or by the window's look.
    QTRY_COMPARE_WITH_TIMEOUT(Caption(), optext::kConnectCaption, 30000);
    const qsizetype ended =
        std::count_if(notes_.calls.cbegin(), notes_.calls.cend(), [](const auto& call) {
            return call.note.text == optext::kLinkEndedByTerminal;
        });
    QVERIFY2(ended == 2 ||
                 PullText().contains(optext::kOutcomeLinkClosed.arg(optext::kConnectCaption)),
             qPrintable(PullText()));
    QVERIFY2(messages_.messages.isEmpty(), qPrintable(messages_.messages.join(QLatin1Char('|'))));
}

void TestMainDialog::emptyEntryAsksForADevice()
{
    CConnServer unnamed = devices_.last();
    unnamed.Name.clear();
    Open({devices_.first(), unnamed});
    ChooseDevice(kGateA);
    QCOMPARE(controller_->Current().Name, kGateA);
    ChooseDevice(QString());
    QCOMPARE(messages_.messages, QStringList{optext::kChooseDevice});
    QCOMPARE(controller_->Run().SelectedName, QString());
    QCOMPARE(controller_->Current().Name, kGateA); // unchanged
}

void TestMainDialog::enterAndEscapeKeepTheDialogOpen_data()
{
    QTest::addColumn<int>("focus"); // control id; 0: the dialog itself
    QTest::addColumn<int>("key");

    const QList<int> targets = {resid::main::kDeviceCombo,
                                resid::main::kFromPicker,
                                resid::main::kConnectButton,
                                resid::main::kPullButton,
                                resid::main::kSettingsButton,
                                resid::main::kCommandButton,
                                resid::kOk,
                                resid::kCancel,
                                0};
    for (int target : targets)
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)})
            QTest::addRow("%d key %x", target, key) << target << key;
}

void TestMainDialog::enterAndEscapeKeepTheDialogOpen()
{
    QFETCH(int, focus);
    QFETCH(int, key);
    Open(devices_);
    ChooseDevice(kGateA);
    bool finished = false;
    connect(dialog_.get(), &QDialog::finished, this, [&finished] { finished = true; });
    QWidget* target = focus ? ControlById(*dialog_, focus) : dialog_.get();
    target->setFocus();
    bool modalOpened = false;
    WhenModalOpens([&](QDialog& opened) { modalOpened = true, opened.reject(); }, nullptr, 300);
    QTest::keyClick(target, Qt::Key(key));
    QTest::qWait(400);
    QVERIFY(!finished);
    QVERIFY(dialog_->isVisible());
    QVERIFY(!modalOpened);                          // no button was pressed by the key
    QCOMPARE(Caption(), QStringLiteral("الإتصال")); // nor connect
    QVERIFY(notes_.calls.isEmpty());
}

void TestMainDialog::settingsSaveAndCancel_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("save");
    QTest::newRow("save") << true << true;
    QTest::newRow("cancel") << true << false;
    QTest::newRow("save unchanged") << false << true;
}

void TestMainDialog::settingsSaveAndCancel()
{
    QFETCH(bool, edit);
    QFETCH(bool, save);
    Open(devices_);
    ChooseDevice(kGateB);
    const CConnServerList before = controller_->Devices();
    const QByteArray fileBefore = testsupport::ReadBytes(rig_->install.ConfigPath());

    bool done = false;
    WhenModalOpens(
        [&](QDialog& settings) {
            auto* list = FindControl<QTreeWidget>(settings, resid::config::kDeviceList);
            QCOMPARE(list->topLevelItemCount(), 2);
            QCOMPARE(list->topLevelItem(1)->text(0), kGateB); // the stored order
            if (!edit)
                return Click(FindControl<QPushButton>(settings, resid::kOk));
            // Untick Gate B with the keyboard, change the export folder.
            list->setFocus();
            list->setCurrentItem(list->topLevelItem(1));
            QTest::keyClick(list->viewport(), Qt::Key_Space);
            QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
            guitest::TypeInto(FindControl<QLineEdit>(settings, resid::config::kPathEdit),
                              QStringLiteral("/srv/export"));
            Click(FindControl<QPushButton>(settings, save ? resid::kOk : resid::kCancel));
        },
        &done);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kSettingsButton));
    QVERIFY(done);
    auto* combo = FindControl<QComboBox>(*dialog_, resid::main::kDeviceCombo);
    if (!edit) {
        // A save that changes nothing leaves config.ini as it was.
        QCOMPARE(testsupport::ReadBytes(rig_->install.ConfigPath()), fileBefore);
        QCOMPARE(controller_->Devices(), before);
        return;
    }
    if (!save) {
        QCOMPARE(controller_->Devices(), before);
        QCOMPARE(testsupport::ReadBytes(rig_->install.ConfigPath()), fileBefore);
        QCOMPARE(combo->currentText(), kGateB);
        return;
    }
    // Saved in the stored order, read back: only Gate A is offered now, and
    // selected without changing the device the buttons act on.
    QCOMPARE(controller_->Devices().size(), 2);
    QCOMPARE(controller_->Devices()[0].Name, kGateA);
    QCOMPARE(controller_->Devices()[0].IsCheck, QStringLiteral("1"));
    QCOMPARE(controller_->Devices()[0].FilePath, QStringLiteral("/srv/export"));
    QCOMPARE(controller_->Devices()[0].Pass, devices_[0].Pass);
    QCOMPARE(controller_->Devices()[1].Name, kGateB);
    QCOMPARE(controller_->Devices()[1].IsCheck, QStringLiteral("0"));
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->currentText(), kGateA);
    QCOMPARE(controller_->Run().SelectedName, kGateB);
    QCOMPARE(controller_->Current().Name, kGateB);
    QVERIFY(messages_.messages.isEmpty());
}

void TestMainDialog::settingsThatCannotBeSavedKeepTheList()
{
    Open(devices_);
    // A folder where config.ini should be: the file cannot be replaced.
    QVERIFY(QFile::remove(rig_->install.ConfigPath()));
    QVERIFY(QDir().mkdir(rig_->install.ConfigPath()));

    bool done = false;
    WhenModalOpens(
        [&](QDialog& settings) {
            guitest::TypeInto(FindControl<QLineEdit>(settings, resid::config::kPathEdit),
                              QStringLiteral("/srv/other"));
            Click(FindControl<QPushButton>(settings, resid::kOk));
        },
        &done);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kSettingsButton));
    QVERIFY(done);
    QCOMPARE(notes_.calls.last().note.text, optext::kFileNotOpenedText);
    QCOMPARE(controller_->Devices().size(), 2);
    QCOMPARE(controller_->Devices()[0].Name, kGateA);
    QCOMPARE(controller_->Devices()[0].FilePath, QStringLiteral("/srv/other"));
    auto* combo = FindControl<QComboBox>(*dialog_, resid::main::kDeviceCombo);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), kGateA);
    // Still usable: the chosen device connects.
    ChooseDevice(kGateA);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kConnectButton));
    QVERIFY(Link().IsOpen());
}

void TestMainDialog::commandButtonShowsTheCommand()
{
    Open(devices_);
    QString shown;
    bool done = false;
    WhenModalOpens(
        [&](QDialog& command) {
            shown = FindControl<QLineEdit>(command, resid::command::kEdit)->text();
            Click(FindControl<QPushButton>(command, resid::kOk));
        },
        &done);
    Click(FindControl<QPushButton>(*dialog_, resid::main::kCommandButton));
    QVERIFY(done);
    // The generator's text (quoted for the system: tst_command_text).
    QCOMPARE(shown, AllDevicesCommand(kProgramPath));
    QVERIFY(dialog_->isVisible());
}

void TestMainDialog::trayDoubleClickRestoresTheWindow()
{
    Open(devices_);
    dialog_->showMinimized();
    QTRY_VERIFY(dialog_->isMinimized());
    dialog_->OnTrayNotify();
    QTRY_VERIFY(!dialog_->isMinimized());
    QVERIFY(dialog_->isVisible());
}

QTEST_MAIN(TestMainDialog)
#include "tst_main_dialog.moc"
