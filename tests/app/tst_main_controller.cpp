// The run control behind the window, without its widgets: the controller
// behind a headless view, a scripted terminal link and the test database.
#include "FakeTerminalLink.h"
#include "HeadlessView.h"
#include "TempDir.h"
#include "TestDatabase.h"

#include "access/PasswordGate.h"
#include "app/LastSuccess.h"
#include "app/MainController.h"
#include "app/StartRun.h"
#include "platform/Clock.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "platform/RunLock.h"
#include "resources/OperatorTexts.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"
#include "terminal/ExportFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using testsupport::TestDatabase;

namespace {

class FixedPrompt : public PasswordPrompt {
public:
    QString PromptPassword() override { return QStringLiteral("secret"); }
};

const QDate kToday(2024, 3, 5);
const QString kNorth = QStringLiteral("Gate North");
const QString kHall = QStringLiteral("Big Hall");

// A window whose operator presses Cancel as soon as punches arrive.
class CancellingView : public HeadlessView {
public:
    using HeadlessView::HeadlessView;
    bool ShowProgress(Stage stage, qint64 done, qint64 total) override
    {
        shown.append(QStringLiteral("%1 %2/%3").arg(int(stage)).arg(done).arg(total));
        return stage != Stage::Download;
    }
    QStringList shown;
};

// The positional arguments of a single-terminal start to 10.0.0.5, with the
// range of March 2024 and the close flag given.
QStringList SingleTerminal(const QString& folder, const QString& closeFlag)
{
    QStringList params(17);
    params[2] = folder;
    params[3] = QStringLiteral("10.0.0.5");
    params[4] = QStringLiteral("4370x");
    params[13] = QStringLiteral("2024-03-01");
    params[14] = QStringLiteral("2024-03-31");
    params[15] = closeFlag;
    return params;
}

} // namespace

class TestMainController : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void noDeviceSelected();
    void singleTerminalRun_data();
    void singleTerminalRun();
    void choosingAnotherDeviceDisconnects();
    void savedSettingsSayWhatChanged();
    void aSecondRunWaitsForTheFirstAndGivesUp();
    void aPullCutShortKeepsNothingAndSaysSo_data();
    void aPullCutShortKeepsNothingAndSaysSo();
    void thePullStaysWithTheLinkedDevice_data();
    void thePullStaysWithTheLinkedDevice();
    void aLinkTheTerminalEndedIsOpenedAgain_data();
    void aLinkTheTerminalEndedIsOpenedAgain();
    void aPullWhoseExportFailsSaysSo();
    void disconnectingNeedsNeitherRangeNorDatabase();
    void aRefusedConnectionSaysWhy();

private:
    MainServices Services(const RunOptions& options = {});
    std::unique_ptr<MainController> Start(const QStringList& params);
    // Gate North and Big Hall, both in config.ini and the device table, with
    // their terminals at 10.0.0.1 and 10.0.0.2; Big Hall connected.
    std::unique_ptr<MainController> ConnectedToTheHall();
    QString ExportOf(const QString& name) const;
    CConnServer Device(const QString& name, int number) const;

    TestDatabase db_;
    std::unique_ptr<QTemporaryDir> dir_;
    FakeTerminalLink link_;
    RecordingProgress progress_;
    RecordingMessageSink messages_;
    FixedClock clock_{QDateTime(kToday, QTime(14, 30))};
    std::unique_ptr<FileRegistryStore> registry_;
    FixedPrompt prompt_;
    std::unique_ptr<HeadlessView> view_;
    QStringList lines_;
};

void TestMainController::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestMainController::init()
{
    QVERIFY2(db_.Reset(), qPrintable(db_.LastError()));
    dir_ = std::make_unique<QTemporaryDir>();
    link_ = FakeTerminalLink();
    progress_ = RecordingProgress();
    messages_.messages.clear();
    registry_ = std::make_unique<FileRegistryStore>(dir_->filePath(QStringLiteral("registry")));
    view_ = std::make_unique<HeadlessView>(clock_.now());
    lines_.clear();
}

MainServices TestMainController::Services(const RunOptions& options)
{
    return MainServices{
        link_,      progress_, messages_,    clock_,
        *registry_, prompt_,   dir_->path(), [this](const QString& line) { lines_.append(line); },
        {},         options};
}

std::unique_ptr<MainController> TestMainController::Start(const QStringList& params)
{
    auto controller = std::make_unique<MainController>(*view_, Services());
    controller->InitDialog(params);
    messages_.messages.clear(); // a missing config.ini is not the point
    return controller;
}

CConnServer TestMainController::Device(const QString& name, int number) const
{
    CConnServer device = db_.Record();
    device.Name = name;
    device.DeviceId = QStringLiteral("00000000-0000-0000-0000-00000000000%1").arg(number);
    device.IsCheck = QStringLiteral("1");
    device.FilePath = dir_->path();
    return device;
}

std::unique_ptr<MainController> TestMainController::ConnectedToTheHall()
{
    const CConnServerList devices{Device(kNorth, 1), Device(kHall, 2)};
    for (int i = 0; i < 2; ++i)
        if (!db_.InsertDevices({{devices[i].DeviceId, QString::number(i), devices[i].Name,
                                 QStringLiteral("10.0.0.%1").arg(i + 1), 4370, 0, 1}}))
            return nullptr;
    CCrypt crypt;
    if (!SaveSettings(devices, dir_->filePath(QStringLiteral("config.ini")), crypt))
        return nullptr;
    auto controller = Start({});
    for (int i = 0; i < 5; ++i)
        link_.punches.append(FakeTerminalLink::Punch(QString::number(100 + i), kToday));
    view_->SelectDevice(1);
    controller->OnConnect();
    return controller;
}

QString TestMainController::ExportOf(const QString& name) const
{
    return MakeExportPath(name, dir_->path(), clock_, dir_->path());
}

void TestMainController::noDeviceSelected()
{
    // Right after an interactive start nothing is selected: the buttons act
    // on an empty record, which has no address and opens no database.
    const auto controller = Start({});
    controller->OnConnect();
    QCOMPARE(progress_.codes, QStringList{progress::kNoAddress});
    QCOMPARE(progress_.notes.first().text, optext::kNoAddressText);
    controller->OnPullData();
    QCOMPARE(progress_.codes, (QStringList{progress::kNoAddress, progress::kNotConnected}));
    QCOMPARE(progress_.notes.last().text, optext::kNotConnectedText);
    QVERIFY2(messages_.messages.isEmpty(), qPrintable(messages_.messages.join(u'\n')));
    QVERIFY(link_.calls.isEmpty());
}

void TestMainController::singleTerminalRun_data()
{
    QTest::addColumn<int>("refusedOpens");
    QTest::addColumn<int>("breakAfter");
    QTest::addColumn<bool>("folderBlocked"); // the export folder would lie under a file
    QTest::addColumn<QString>("closeFlag");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<bool>("endRequested");
    QTest::addColumn<bool>("linkLeftOpen");
    QTest::newRow("first attempt") << 0 << -1 << false << ""
                                   << "2 3 7" << true << false;
    QTest::newRow("third attempt") << 2 << -1 << false << ""
                                   << "2 2 2 3 7" << true << false;
    QTest::newRow("unreachable, window stays") << 3 << -1 << false << ""
                                               << "2 2 2 4" << false << false;
    QTest::newRow("unreachable, close flag 0") << 3 << -1 << false << "0"
                                               << "2 2 2 4" << true << false;
    QTest::newRow("stream breaks") << 0 << 2 << false << "0"
                                   << "2 3" << true << false;
    // The export file is the start's only product: not written, it failed,
    // and nothing says it succeeded.
    QTest::newRow("export folder under a file") << 0 << -1 << true << ""
                                                << "2 3" << false << true;
}

void TestMainController::singleTerminalRun()
{
    QFETCH(int, refusedOpens);
    QFETCH(int, breakAfter);
    QFETCH(bool, folderBlocked);
    QFETCH(QString, closeFlag);
    QFETCH(QString, codes);
    QFETCH(bool, endRequested);
    QFETCH(bool, linkLeftOpen);
    link_.refusedOpens = refusedOpens;
    link_.breakAfter = breakAfter;
    for (int i = 0; i < 4; ++i)
        link_.punches.append(FakeTerminalLink::Punch(QString::number(100 + i), kToday));
    link_.punches.append(FakeTerminalLink::Punch(QStringLiteral("old"), kToday.addYears(-1)));
    QString folder = dir_->filePath(QStringLiteral("export"));
    if (folderBlocked) {
        QVERIFY(testsupport::WriteBytes(dir_->filePath(QStringLiteral("file")), "x"));
        folder = dir_->filePath(QStringLiteral("file/export"));
    }

    const auto controller = Start(SingleTerminal(folder, closeFlag));
    controller->OnStartRun();

    const RunReport& report = controller->Report();
    const bool ok = codes.endsWith(u'7');
    QCOMPARE(progress_.codes.join(u' '), codes);
    QCOMPARE(report.ExitStatus(), ok ? 0 : 1);
    QCOMPARE(report.endRequested, endRequested);
    QCOMPARE(report.gateResult, -1); // a terminal address skips the password
    QVERIFY(link_.calls.contains(QStringLiteral("open 10.0.0.5:4370")));
    QCOMPARE(link_.open, linkLeftOpen);
    QCOMPARE(controller->ConnectCaption(),
             linkLeftOpen ? optext::kDisconnectCaption : optext::kFirstConnectCaption);
    QCOMPARE(lines_.size(), 1);
    const QByteArray exported = testsupport::ReadBytes(MakeExportPath({}, folder, clock_));
    if (ok) {
        QCOMPARE(lines_.first(), QStringLiteral("10.0.0.5:4370x: 4 punches in range downloaded, "
                                                "not posted"));
        QCOMPARE(exported.count('\n'), 4);
        QVERIFY(exported.startsWith("100\t05-03-2024 08:00:00 \t"));
        return;
    }
    QVERIFY(exported.isEmpty());
    QVERIFY2(lines_.first().contains(QStringLiteral("FAILED")), qPrintable(lines_.first()));
    for (const RecordingProgress::Note& note : progress_.notes)
        QVERIFY(note.text != optext::kDownloadedText);
    if (folderBlocked) {
        QCOMPARE(progress_.notes.last().text, optext::kFileNotOpenedText);
        // The folder and the system's reason ("Not a directory", "Path not found.").
        const QString file = QDir::toNativeSeparators(MakeExportPath({}, folder, clock_));
        QVERIFY2(lines_.first().contains(QRegularExpression(
                     QRegularExpression::escape(file) + QStringLiteral(": \\w+ \\w+"))),
                 qPrintable(lines_.first()));
    }
}

void TestMainController::choosingAnotherDeviceDisconnects()
{
    const auto controller = Start({});
    link_.open = true;
    view_->InsertString(0, QStringLiteral("Gate"));
    view_->SelectDevice(0);
    controller->OnDeviceSelChange();
    QCOMPARE(link_.calls, QStringList{QStringLiteral("close")});
    QVERIFY(!link_.open);
    QCOMPARE(view_->ConnectCaption(), optext::kConnectCaption);
    QCOMPARE(controller->Run().SelectedName, QStringLiteral("Gate"));
    QVERIFY(messages_.messages.isEmpty());
}

void TestMainController::savedSettingsSayWhatChanged()
{
    const auto controller = Start({});
    CConnServer device;
    device.DeviceId = QStringLiteral("1");
    device.Name = QStringLiteral("A\nB");
    device.IsCheck = QStringLiteral("1");
    controller->Devices() = {device};
    controller->OnSettingsAccepted();
    QCOMPARE(view_->Names(), QStringList{QStringLiteral("A_B")});
    QCOMPARE(messages_.messages.size(), 1);
    QVERIFY(messages_.messages.first().contains(QStringLiteral("A_B")));

    // A settings file that cannot be written: the notification, and the combo
    // shows the edited list.
    QVERIFY(QFile::remove(controller->ConfigPath()));
    QVERIFY(QDir().mkdir(controller->ConfigPath()));
    controller->Devices().append(device);
    controller->OnSettingsAccepted();
    QCOMPARE(progress_.notes.last().text, optext::kFileNotOpenedText);
    QCOMPARE(view_->Names().size(), 2);
}

void TestMainController::aSecondRunWaitsForTheFirstAndGivesUp()
{
    CCrypt crypt;
    QVERIFY(SaveSettings({Device(kNorth, 1)}, dir_->filePath(QStringLiteral("config.ini")), crypt));
    RunLock first(RunLockPath(dir_->path()));
    QVERIFY(first.Acquire(0));

    RunOptions options;
    options.runLockWaitMs = 300;
    MainServices services = Services(options);
    QElapsedTimer waited;
    waited.start();
    const RunReport report = StartWithoutWindow({QStringLiteral("1")}, services).report;
    QVERIFY(waited.elapsed() >= 300);
    QCOMPARE(report.ExitStatus(), 1);
    QVERIFY(report.endRequested);
    QVERIFY(link_.calls.isEmpty());
    QCOMPARE(lines_.size(), 1);
    QVERIFY2(lines_.first().contains(first.Path()), qPrintable(lines_.first()));
}

void TestMainController::aPullCutShortKeepsNothingAndSaysSo_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("breakAfter"); // -1: the operator cancels at the first count
    QTest::addColumn<bool>("earlierExport");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<bool>("linkKept");
    QTest::newRow("cancelled") << true << -1 << true << optext::kPullCancelled << true;
    QTest::newRow("stream broken") << true << 500 << false << optext::kPullFailed << false;
    QTest::newRow("not connected")
        << false << -1 << false << optext::kPullNotConnected.arg(optext::kConnectCaption) << false;
}

void TestMainController::aPullCutShortKeepsNothingAndSaysSo()
{
    QFETCH(bool, connected);
    QFETCH(int, breakAfter);
    QFETCH(bool, earlierExport);
    QFETCH(QString, verdict);
    QFETCH(bool, linkKept);
    auto* view = new CancellingView(clock_.now());
    view_.reset(view);
    const auto controller = ConnectedToTheHall();
    QVERIFY(controller && link_.open);
    if (!connected)
        controller->OnConnect();
    const QString exported = ExportOf(kHall);
    if (earlierExport)
        QVERIFY(testsupport::WriteBytes(exported, "x\r\n"));
    for (int i = 0; i < 3000; ++i)
        link_.punches.append(FakeTerminalLink::Punch(QString::number(i), kToday));
    link_.breakAfter = breakAfter;
    progress_ = RecordingProgress();
    controller->OnPullData();
    if (connected && breakAfter < 0) {
        QVERIFY(!view->shown.isEmpty());
        QVERIFY2(view->shown.first().startsWith(QStringLiteral("0 ")),
                 qPrintable(view->shown.join(u',')));
    }
    QVERIFY(db_.Movements().isEmpty());
    QCOMPARE(QFile::exists(exported), earlierExport);
    QVERIFY(link_.active); // the terminal takes punches again
    QVERIFY(!progress_.codes.contains(progress::kDownloaded));
    // The outcome says how it ended, and the caption follows a link that it ended.
    QVERIFY2(view->Outcome().contains(verdict), qPrintable(view->Outcome()));
    // The earlier export file is said to be kept only where there was one.
    QCOMPARE(view->Outcome().contains(optext::kExportKept), earlierExport);
    QCOMPARE(link_.open, linkKept);
    QCOMPARE(view->Outcome().contains(optext::kOutcomeLinkClosed.arg(optext::kConnectCaption)),
             connected && !linkKept);
    QCOMPARE(view->ConnectCaption(),
             linkKept ? optext::kDisconnectCaption : optext::kConnectCaption);
}

void TestMainController::thePullStaysWithTheLinkedDevice_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("linkKept");
    QTest::newRow("settings saved") << "save" << true;
    QTest::newRow("settings saved without the device") << "remove" << false;
    QTest::newRow("removed from config.ini, settings cancelled") << "removed meanwhile" << false;
    QTest::newRow("another device chosen") << "choose" << false;
}

void TestMainController::thePullStaysWithTheLinkedDevice()
{
    // Connected to Big Hall; then the selection is moved away from it.
    QFETCH(QString, change);
    QFETCH(bool, linkKept);
    const auto controller = ConnectedToTheHall();
    QVERIFY(controller && link_.open);
    QCOMPARE(link_.calls.filter(QStringLiteral("open")),
             QStringList{QStringLiteral("open 10.0.0.2:4370")});
    const QString hallId = controller->Devices().last().DeviceId;
    if (change == QLatin1String("choose")) {
        view_->SelectDevice(0);
        controller->OnDeviceSelChange();
    } else if (change == QLatin1String("removed meanwhile")) {
        // zelvor-settings removed it; the settings dialog reads config.ini
        // again when it opens, and the operator cancels.
        CCrypt crypt;
        QVERIFY(SaveSettings({controller->Devices().first()}, controller->ConfigPath(), crypt));
        controller->OnSettingsOpening();
    } else {
        if (change == QLatin1String("remove"))
            controller->Devices().removeLast();
        controller->OnSettingsAccepted();
    }
    QCOMPARE(link_.open, linkKept);
    QCOMPARE(view_->ConnectCaption(),
             linkKept ? optext::kDisconnectCaption : optext::kConnectCaption);
    // The combo shows the device the link is to, while there is one.
    QCOMPARE(view_->SelectedDeviceText().value_or(QString()), linkKept ? kHall : kNorth);

    // Big Hall's punches are pulled and posted as Big Hall's, or not at all:
    // never as Gate North's.
    link_.calls.clear();
    controller->OnPullData();
    QVERIFY(!QFile::exists(ExportOf(kNorth)));
    QVERIFY(!ReadLastSuccess(*registry_, controller->Devices().first().DeviceId));
    QCOMPARE(ReadLastSuccess(*registry_, hallId).has_value(), linkKept);
    QCOMPARE(db_.Movements().size(), linkKept ? 5 : 0);
    if (linkKept)
        QVERIFY2(lines_.last().startsWith(kHall + QStringLiteral(": 5 punches in range, 5 posted")),
                 qPrintable(lines_.last()));
    else
        QCOMPARE(link_.calls, QStringList()); // nothing read from Big Hall's terminal
}

void TestMainController::aLinkTheTerminalEndedIsOpenedAgain_data()
{
    QTest::addColumn<bool>("noticedByTheWindow");
    QTest::newRow("the window noticed it") << true;
    QTest::newRow("the pull finds it") << false;
}

void TestMainController::aLinkTheTerminalEndedIsOpenedAgain()
{
    QFETCH(bool, noticedByTheWindow);
    const auto controller = ConnectedToTheHall();
    QVERIFY(controller && link_.open);
    link_.endsIdleLink = true;
    if (noticedByTheWindow) {
        // The window's look at the link between operations.
        QVERIFY(!link_.TendIdle());
        controller->OnLinkEnded(link_.LastFailure());
        QCOMPARE(view_->ConnectCaption(), optext::kConnectCaption);
        QCOMPARE(progress_.notes.last().text, optext::kLinkEndedByTerminal);
    }
    controller->OnPullData();
    // Connected again to the same terminal, once, and pulled from it.
    QCOMPARE(link_.calls.filter(QStringLiteral("open")),
             QStringList(2, QStringLiteral("open 10.0.0.2:4370")));
    QVERIFY(link_.open);
    QCOMPARE(view_->ConnectCaption(), optext::kDisconnectCaption);
    QVERIFY2(view_->Outcome().contains(optext::kPullReopened) &&
                 view_->Outcome().contains(optext::kPulledAndPosted),
             qPrintable(view_->Outcome()));
    QCOMPARE(db_.Movements().size(), 5);
}

void TestMainController::aPullWhoseExportFailsSaysSo()
{
    // The punches are posted, but the export file is a product of the pull
    // too: the device failed, and nothing says it succeeded.
    const auto controller = ConnectedToTheHall();
    QVERIFY(controller && link_.open);
    QVERIFY(testsupport::WriteBytes(dir_->filePath(QStringLiteral("file")), "x"));
    controller->Devices().last().FilePath = dir_->filePath(QStringLiteral("file/export"));
    controller->OnSettingsAccepted();
    progress_ = RecordingProgress();
    controller->OnPullData();
    QCOMPARE(db_.Movements().size(), 5);
    QVERIFY(!ReadLastSuccess(*registry_, controller->Devices().last().DeviceId));
    QVERIFY(progress_.codes.isEmpty());
    QCOMPARE(progress_.notes.last().text, optext::kFileNotOpenedText);
    QVERIFY2(view_->Outcome().startsWith(optext::kOutcomeDevice.arg(kHall) + u'\n' +
                                         optext::kPostedExportFailed) &&
                 !view_->Outcome().contains(optext::kPulledAndPosted),
             qPrintable(view_->Outcome()));
    QVERIFY2(lines_.last().startsWith(kHall + QStringLiteral(": FAILED, export file not written")),
             qPrintable(lines_.last()));
}

void TestMainController::disconnectingNeedsNeitherRangeNorDatabase()
{
    const auto controller = ConnectedToTheHall();
    QVERIFY(controller && link_.open);
    // The database now refuses the login, and the range is reversed.
    for (CConnServer& device : controller->Devices())
        device.Pass = QStringLiteral("wrong");
    controller->OnSettingsAccepted();
    view_->SetFromDate(QDateTime(kToday.addDays(2), QTime(0, 0)));
    link_.calls.clear();
    controller->OnConnect();
    QCOMPARE(link_.calls, QStringList{QStringLiteral("close")});
    QCOMPARE(view_->ConnectCaption(), optext::kConnectCaption);
    QVERIFY2(messages_.messages.isEmpty(), qPrintable(messages_.messages.join(u'|')));

    // Connecting or pulling with the reversed range is refused before
    // anything is done; with a sound range the database's refusal leads with
    // what to do.
    controller->OnConnect();
    controller->OnPullData();
    const QString said = optext::kReversedRange.arg(QLocale().toString(kToday.addDays(2)),
                                                    QLocale().toString(kToday));
    QCOMPARE(messages_.messages, (QStringList{said, said}));
    QCOMPARE(link_.calls, QStringList{QStringLiteral("close")});
    view_->SetFromDate(QDateTime(kToday.addDays(-4), QTime(0, 0)));
    controller->OnConnect();
    QCOMPARE(messages_.messages.size(), 3);
    QVERIFY2(messages_.messages.last().startsWith(optext::kDatabaseFailed + u'\n'),
             qPrintable(messages_.messages.last()));
    QVERIFY(!link_.open);
}

void TestMainController::aRefusedConnectionSaysWhy()
{
    link_.neverOpens = true;
    const auto controller = ConnectedToTheHall();
    QVERIFY(controller && !link_.open);
    QCOMPARE(messages_.messages.size(), 1);
    // What happened and what to do first, the technical line after.
    const QString& said = messages_.messages.first();
    QVERIFY2(said.startsWith(optext::kConnectRefused.arg(QStringLiteral("10.0.0.2:4370"),
                                                         optext::kFirstConnectCaption)) &&
                 said.endsWith(QStringLiteral("could not connect to 10.0.0.2:4370 (refused)")),
             qPrintable(said));
}

QTEST_GUILESS_MAIN(TestMainController)
#include "tst_main_controller.moc"
