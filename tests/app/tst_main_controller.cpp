// The run control without a window and without a terminal: the controller
// behind a headless view, with a scripted terminal link.
#include "FakeTerminalLink.h"
#include "TempDir.h"

#include "access/PasswordGate.h"
#include "app/LastSuccess.h"
#include "app/MainController.h"
#include "app/MainView.h"
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
#include <QTemporaryDir>
#include <QTest>

namespace {

class FixedPrompt : public PasswordPrompt {
public:
    QString PromptPassword() override { return QStringLiteral("secret"); }
};

const QDate kToday(2024, 3, 5);

// A window whose operator presses Cancel as soon as punches arrive.
class CancellingView : public HeadlessView {
public:
    using HeadlessView::HeadlessView;
    bool ShowProgress(Stage stage, qint64 done, qint64 total) override
    {
        shown.append(QStringLiteral("%1 %2/%3").arg(int(stage)).arg(done).arg(total));
        return stage != Stage::Download;
    }
    void EndProgress(const QString& text) override { outcome = text; }
    QStringList shown;
    QString outcome;
};

} // namespace

class TestMainController : public QObject {
    Q_OBJECT
private slots:
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
    void aReversedRangeIsRefused();
    void aRefusedConnectionSaysWhy();

private:
    std::unique_ptr<MainController> Start(const QStringList& params);
    // Two devices with their terminals' addresses and no database, in
    // config.ini and in the combo; the second connected.
    std::unique_ptr<MainController> ConnectedToTheSecond();
    QString ExportOf(const QString& name) const;

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

void TestMainController::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    link_ = FakeTerminalLink();
    progress_ = RecordingProgress();
    messages_.messages.clear();
    registry_ = std::make_unique<FileRegistryStore>(dir_->filePath(QStringLiteral("registry")));
    view_ = std::make_unique<HeadlessView>(clock_.now());
    lines_.clear();
}

std::unique_ptr<MainController> TestMainController::Start(const QStringList& params)
{
    auto controller = std::make_unique<MainController>(
        *view_, MainServices{link_, progress_, messages_, clock_, *registry_, prompt_, dir_->path(),
                             [this](const QString& line) { lines_.append(line); }});
    controller->InitDialog(params);
    messages_.messages.clear(); // no config.ini here: its message is not the point
    return controller;
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
    QTest::addColumn<QString>("closeFlag");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<bool>("endRequested");
    const QStringList done{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("7")};
    QTest::newRow("first attempt") << 0 << -1 << QString() << done << 0 << true;
    QTest::newRow("third attempt")
        << 2 << -1 << QString()
        << QStringList{QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("2"),
                       QStringLiteral("3"), QStringLiteral("7")}
        << 0 << true;
    const QStringList refused{QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("2"),
                              QStringLiteral("4")};
    QTest::newRow("unreachable, window stays") << 3 << -1 << QString() << refused << 1 << false;
    QTest::newRow("unreachable, close flag 0")
        << 3 << -1 << QStringLiteral("0") << refused << 1 << true;
    QTest::newRow("stream breaks")
        << 0 << 2 << QStringLiteral("0") << QStringList{QStringLiteral("2"), QStringLiteral("3")}
        << 1 << true;
}

void TestMainController::singleTerminalRun()
{
    QFETCH(int, refusedOpens);
    QFETCH(int, breakAfter);
    QFETCH(QString, closeFlag);
    QFETCH(QStringList, codes);
    QFETCH(int, exitStatus);
    QFETCH(bool, endRequested);
    link_.refusedOpens = refusedOpens;
    link_.breakAfter = breakAfter;
    for (int i = 0; i < 4; ++i)
        link_.punches.append(FakeTerminalLink::Punch(QString::number(100 + i), kToday));
    link_.punches.append(FakeTerminalLink::Punch(QStringLiteral("old"), kToday.addYears(-1)));

    QStringList params(17);
    params[2] = dir_->path();
    params[3] = QStringLiteral("10.0.0.5");
    params[4] = QStringLiteral("4370x");
    params[13] = QStringLiteral("2024-03-01");
    params[14] = QStringLiteral("2024-03-31");
    params[15] = closeFlag;
    const auto controller = Start(params);
    controller->OnStartRun();

    const RunReport& report = controller->Report();
    QCOMPARE(progress_.codes, codes);
    QCOMPARE(report.ExitStatus(), exitStatus);
    QCOMPARE(report.endRequested, endRequested);
    QCOMPARE(report.gateResult, -1); // a terminal address skips the password
    QVERIFY(link_.calls.contains(QStringLiteral("open 10.0.0.5:4370")));
    QCOMPARE(lines_.size(), 1);
    if (exitStatus == 0) {
        QCOMPARE(controller->Movements.size(), 4);
        QCOMPARE(controller->Movements.at(0),
                 (MoveRec{QStringLiteral("100"), QStringLiteral("2024-03-05 08:00:00 "),
                          QStringLiteral("0")}));
        QVERIFY(!link_.open);
    } else {
        QVERIFY(controller->Movements.isEmpty());
        QVERIFY(lines_.first().contains(QStringLiteral("FAILED")));
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
    QCOMPARE(controller->Run.SelectedName, QStringLiteral("Gate"));
    QVERIFY(messages_.messages.isEmpty());
}

void TestMainController::savedSettingsSayWhatChanged()
{
    const auto controller = Start({});
    CConnServer device;
    device.DeviceId = QStringLiteral("1");
    device.Name = QStringLiteral("A\nB");
    device.IsCheck = QStringLiteral("1");
    controller->Devices = {device};
    controller->OnSettingsAccepted();
    QCOMPARE(view_->Names(), QStringList{QStringLiteral("A_B")});
    QCOMPARE(messages_.messages.size(), 1);
    QVERIFY(messages_.messages.first().contains(QStringLiteral("A_B")));

    // A settings file that cannot be written: the notification, and the combo
    // shows the edited list.
    QVERIFY(QFile::remove(controller->ConfigPath));
    QVERIFY(QDir().mkdir(controller->ConfigPath));
    controller->Devices.append(device);
    controller->OnSettingsAccepted();
    QCOMPARE(progress_.notes.last().text, optext::kFileNotOpenedText);
    QCOMPARE(view_->Names().size(), 2);
}

void TestMainController::aSecondRunWaitsForTheFirstAndGivesUp()
{
    CConnServer device;
    device.DeviceId = QStringLiteral("1");
    device.Name = QStringLiteral("Gate");
    CCrypt crypt;
    QVERIFY(SaveSettings({device}, dir_->filePath(QStringLiteral("config.ini")), crypt));
    RunLock first(RunLockPath(dir_->path()));
    QVERIFY(first.Acquire(0));

    RunOptions options;
    options.runLockWaitMs = 300;
    MainController second(*view_, MainServices{link_,
                                               progress_,
                                               messages_,
                                               clock_,
                                               *registry_,
                                               prompt_,
                                               dir_->path(),
                                               [this](const QString& line) { lines_.append(line); },
                                               {},
                                               options});
    second.InitDialog({QStringLiteral("1")});
    QElapsedTimer waited;
    waited.start();
    second.OnStartRun();
    QVERIFY(waited.elapsed() >= 300);
    QCOMPARE(second.Report().ExitStatus(), 1);
    QVERIFY(second.Report().endRequested);
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
    // The button has not been pressed yet: it reads its first caption.
    QTest::newRow("not connected")
        << false << -1 << false << optext::kPullNotConnected.arg(optext::kFirstConnectCaption)
        << false;
}

void TestMainController::aPullCutShortKeepsNothingAndSaysSo()
{
    QFETCH(bool, connected);
    QFETCH(int, breakAfter);
    QFETCH(bool, earlierExport);
    QFETCH(QString, verdict);
    QFETCH(bool, linkKept);
    if (earlierExport)
        QVERIFY(testsupport::WriteBytes(MakeExportPath({}, {}, clock_, dir_->path()), "x\r\n"));
    CancellingView view(clock_.now());
    MainController controller(
        view,
        MainServices{link_, progress_, messages_, clock_, *registry_, prompt_, dir_->path(), {}});
    controller.InitDialog({});
    for (int i = 0; i < 3000; ++i)
        link_.punches.append(FakeTerminalLink::Punch(QString::number(i), kToday));
    link_.open = connected;
    link_.breakAfter = breakAfter;
    controller.Run.ArgFromDate = QStringLiteral("2024-03-01");
    controller.Run.ArgToDate = QStringLiteral("2024-03-31");
    controller.OnPullData();
    if (connected && breakAfter < 0) {
        QVERIFY(!view.shown.isEmpty());
        QVERIFY2(view.shown.first().startsWith(QStringLiteral("0 ")),
                 qPrintable(view.shown.join(u',')));
    }
    QVERIFY(controller.Movements.isEmpty());
    QVERIFY(link_.active); // the terminal takes punches again
    QVERIFY(!progress_.codes.contains(progress::kDownloaded));
    // The outcome says how it ended, and the caption follows a link that it ended.
    QVERIFY2(view.outcome.contains(verdict), qPrintable(view.outcome));
    // The earlier export file is said to be kept only where there was one.
    QCOMPARE(view.outcome.contains(optext::kExportKept), earlierExport);
    QCOMPARE(link_.open, linkKept);
    QCOMPARE(view.outcome.contains(optext::kOutcomeLinkClosed.arg(optext::kConnectCaption)),
             connected && !linkKept);
    QCOMPARE(view.ConnectCaption(), connected && !linkKept ? optext::kConnectCaption : QString());
}

std::unique_ptr<MainController> TestMainController::ConnectedToTheSecond()
{
    CConnServerList devices;
    for (const char* name : {"Gate North", "Big Hall"}) {
        CConnServer device;
        device.Name = QString::fromLatin1(name);
        device.DeviceId = device.Name.left(1);
        device.IsCheck = QStringLiteral("1");
        device.FilePath = dir_->path();
        devices.append(device);
    }
    CCrypt crypt;
    if (!SaveSettings(devices, dir_->filePath(QStringLiteral("config.ini")), crypt))
        return nullptr;
    auto controller = Start({});
    // The suite's device table would give these; here there is no database.
    for (int i = 0; i < 2; ++i) {
        controller->Devices[i].ConnStr.clear();
        controller->Devices[i].IP = QStringLiteral("10.0.0.%1").arg(i + 1);
        controller->Devices[i].Port = QStringLiteral("4370");
    }
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

void TestMainController::thePullStaysWithTheLinkedDevice_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("linkKept");
    QTest::newRow("settings saved") << "save" << true;
    QTest::newRow("settings saved without the device") << "remove" << false;
    QTest::newRow("another device chosen") << "choose" << false;
}

void TestMainController::thePullStaysWithTheLinkedDevice()
{
    // Connected to Big Hall; then the selection is moved away from it.
    QFETCH(QString, change);
    QFETCH(bool, linkKept);
    const auto controller = ConnectedToTheSecond();
    QVERIFY(controller && link_.open);
    QCOMPARE(link_.calls.filter(QStringLiteral("open")),
             QStringList{QStringLiteral("open 10.0.0.2:4370")});
    if (change == QLatin1String("choose")) {
        view_->SelectDevice(0);
        controller->OnDeviceSelChange();
    } else {
        if (change == QLatin1String("remove"))
            controller->Devices.removeLast();
        controller->OnSettingsAccepted();
    }
    QCOMPARE(link_.open, linkKept);
    QCOMPARE(view_->ConnectCaption(),
             linkKept ? optext::kDisconnectCaption : optext::kConnectCaption);
    // The combo shows the device the link is to, while there is one.
    QCOMPARE(*view_->SelectedDeviceText(),
             linkKept ? QStringLiteral("Big Hall") : QStringLiteral("Gate North"));

    // Big Hall's punches are pulled as Big Hall's (here its database, read
    // back from config.ini, cannot be reached), or not at all: never as Gate
    // North's.
    link_.calls.clear();
    controller->OnPullData();
    QVERIFY(!QFile::exists(ExportOf(QStringLiteral("Gate North"))));
    QVERIFY(!ReadLastSuccess(*registry_, QStringLiteral("G")));
    if (linkKept)
        QVERIFY2(lines_.last().startsWith(QStringLiteral("Big Hall: ")), qPrintable(lines_.last()));
    else
        QCOMPARE(link_.calls, QStringList()); // nothing read from Big Hall's terminal
    if (change == QLatin1String("choose")) {
        // The device list as it was: no database to reach, Big Hall's
        // connected again and pulled into its own export file.
        view_->SelectDevice(1);
        controller->OnDeviceSelChange();
        controller->OnConnect();
        controller->OnPullData();
        QVERIFY(QFile::exists(ExportOf(QStringLiteral("Big Hall"))));
        QVERIFY(ReadLastSuccess(*registry_, QStringLiteral("B")));
        QVERIFY(!QFile::exists(ExportOf(QStringLiteral("Gate North"))));
    }
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
    const auto controller = ConnectedToTheSecond();
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
    QVERIFY(QFile::exists(ExportOf(QStringLiteral("Big Hall"))));
}

void TestMainController::aReversedRangeIsRefused()
{
    const auto controller = ConnectedToTheSecond();
    QVERIFY(controller);
    link_.calls.clear();
    progress_.codes.clear();
    view_->SetFromDate(QDateTime(kToday.addDays(2), QTime(0, 0)));
    view_->SetToDate(QDateTime(kToday, QTime(14, 30)));
    controller->OnPullData();
    controller->OnConnect();
    // Said twice, done never: no request, no progress code, no file.
    const QString said = optext::kReversedRange.arg(QLocale().toString(kToday.addDays(2)),
                                                    QLocale().toString(kToday));
    QCOMPARE(messages_.messages, (QStringList{said, said}));
    QVERIFY(link_.calls.isEmpty());
    QVERIFY(progress_.codes.isEmpty());
    QVERIFY(!QFile::exists(ExportOf(QStringLiteral("Big Hall"))));
    QVERIFY(link_.open);
}

void TestMainController::aRefusedConnectionSaysWhy()
{
    link_.neverOpens = true;
    const auto controller = ConnectedToTheSecond();
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
