// The run control without a window and without a terminal: the controller
// behind a headless view, with a scripted terminal link.
#include "FakeTerminalLink.h"

#include "access/PasswordGate.h"
#include "app/MainController.h"
#include "app/MainView.h"
#include "platform/Clock.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "platform/RunLock.h"
#include "resources/OperatorTexts.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

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

private:
    std::unique_ptr<MainController> Start(const QStringList& params);

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
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<bool>("linkKept");
    QTest::newRow("cancelled") << true << -1 << optext::kPullCancelled << true;
    QTest::newRow("stream broken") << true << 500 << optext::kPullFailed << false;
    QTest::newRow("not connected") << false << -1 << optext::kPullNotConnected << false;
}

void TestMainController::aPullCutShortKeepsNothingAndSaysSo()
{
    QFETCH(bool, connected);
    QFETCH(int, breakAfter);
    QFETCH(QString, verdict);
    QFETCH(bool, linkKept);
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
    QCOMPARE(link_.open, linkKept);
    QCOMPARE(view.outcome.contains(optext::kOutcomeLinkClosed), connected && !linkKept);
    QCOMPARE(view.ConnectCaption(), connected && !linkKept ? optext::kConnectCaption : QString());
}

QTEST_GUILESS_MAIN(TestMainController)
#include "tst_main_controller.moc"
