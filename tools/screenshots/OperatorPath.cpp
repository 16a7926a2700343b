#include "Pictures.h"
#include "SimProcess.h"

#include "access/PasswordGate.h"
#include "app/MainController.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/Clock.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/MessageBoxSink.h"
#include "resources/OperatorTexts.h"
#include "resources/ResourceIds.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"
#include "settings/gui/CConfigDlg.h"

#include <QDir>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

class NoPrompt : public PasswordPrompt {
public:
    QString PromptPassword() override { return {}; }
};

// A settings dialog over the main window, with a box that names the devices
// and fields Save would change, or with Test connection's answer.
bool SaveSettingsBoxes(CZelvorDlg& main, const QDir& out)
{
    CConnServerList devices = {Device(QStringLiteral("1"), kGate, "1"),
                               Device(QStringLiteral("2"), QStringLiteral("مدخل المستودع"), "1"),
                               Device(QStringLiteral("3"), QStringLiteral("Gate 3"), "1")};
    devices[0].FilePath = QStringLiteral("/srv/attendance/main-gate");
    devices[1].IsDeleteFile = QStringLiteral("0");
    MessageBoxSink boxes;
    CConfigDlg settings(devices, boxes, &main);
    boxes.SetParent(&settings);
    settings.show();
    if (!QTest::qWaitForWindowExposed(&settings))
        return false;
    bool tested = false;
    CatchNextBox(out.filePath(QStringLiteral("test-connection.png")), &tested);
    boxes.Show(optext::kTestConnectionListed.arg(QLocale().toString(3)));
    bool asked = false;
    CatchNextBox(out.filePath(QStringLiteral("save-warning.png")), &asked);
    QTest::mouseClick(FindControl<QPushButton>(settings, resid::kOk), Qt::LeftButton);
    settings.reject();
    return tested && asked;
}

} // namespace

bool SaveOperatorPathStates(const QString& outFolder)
{
    const QDir out(outFolder);
    QTemporaryDir home;
    // A terminal that ends a link left idle for 2 s.
    SimProcess sim;
    if (!sim.Start({QStringLiteral("--count"), QStringLiteral("3000"),
                    QStringLiteral("--idle-timeout"), QStringLiteral("2000")}))
        return Report({}, out.filePath(QStringLiteral("link-ended.png")));
    CCrypt crypt;
    if (!SaveSettings({Device(QStringLiteral("1"), kGate, "1"),
                       Device(QStringLiteral("2"), QStringLiteral("مدخل المستودع"), "1")},
                      home.filePath(QStringLiteral("config.ini")), crypt))
        return false;

    // The window and its run control as the program makes them.
    CZelvorDlg main(QDateTime::currentDateTime());
    const std::unique_ptr<NotificationSink> notices = main.MakeNotificationSink(systemClock());
    NoticeProgress progress(*notices);
    MessageBoxSink boxes(&main);
    RecordingMessageSink quiet;
    SwitchingMessageSink messages(quiet);
    FileRegistryStore registry(home.filePath(QStringLiteral("registry")));
    NoPrompt prompt;
    MainController controller(
        main,
        MainServices{
            main.Link(), progress, messages, systemClock(), registry, prompt, home.path(), {}});
    main.Attach(controller, messages, QStringLiteral("/usr/bin/zelvor"));
    controller.InitDialog({});
    // No database here: the terminal's address as the suite's table gives it.
    for (CConnServer& device : controller.Devices()) {
        device.ConnStr.clear();
        device.IP = sim.Address();
        device.Port = QString::number(sim.Port());
    }
    messages.SetTarget(boxes);
    main.SelectDevice(0);
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return false;
    bool ok = true;

    // A from-date after the to-date: refused before anything is done.
    main.SetFromDate(QDateTime(QDate::currentDate().addDays(2), QTime(0, 0)));
    bool refused = false;
    CatchNextBox(out.filePath(QStringLiteral("reversed-range.png")), &refused);
    controller.OnPullData();
    ok = refused && ok;
    main.SetFromDate(FirstOfMonth(systemClock()));

    // Connected, then left alone: the terminal ends the link, and the caption
    // and the status line say so.
    controller.OnConnect();
    QTest::qWait(2000 + 2 * CZelvorDlg::kLinkLookMs);
    ok = Save(main, out.filePath(QStringLiteral("link-ended.png"))) && ok;

    // A posting of 200,000 punches half staged, then merging.
    main.show();
    main.ShowProgress(MainView::Stage::Posting, 120000, 200000);
    ok = main.ProgressWindow() &&
         Save(*main.ProgressWindow(), out.filePath(QStringLiteral("posting-progress.png"))) && ok;
    main.ShowProgress(MainView::Stage::Posting, 200000, 200000);
    ok = main.ProgressWindow() &&
         Save(*main.ProgressWindow(), out.filePath(QStringLiteral("posting-merge.png"))) && ok;
    main.EndProgress({});

    ok = SaveSettingsBoxes(main, out) && ok;
    main.hide();
    return ok;
}
