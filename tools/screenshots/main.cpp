// Opens each of the four dialogs with sample content on the current display
// and saves a picture of each window, so their look can be checked by eye;
// and the progress window of a pull of 200,000 punches from the terminal
// simulator, half way.
//
//   zelvor-screenshots OUTPUT_FOLDER

#include "SimProcess.h"

#include "access/gui/CCommandDlg.h"
#include "access/gui/CPasswordDlg.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/MessageSink.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/QtTranslations.h"
#include "resources/ResourceIds.h"
#include "settings/gui/CConfigDlg.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"
#include "terminal/NetTerminalLink.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cstdio>

namespace {

bool Save(QWidget& dialog, const QString& path)
{
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        return false;
    QTest::qWait(300);
    const QPixmap picture = dialog.screen()->grabWindow(dialog.winId());
    const bool saved = !picture.isNull() && picture.save(path);
    std::fprintf(stderr, "%s %s (%dx%d)\n", saved ? "wrote" : "FAILED", qPrintable(path),
                 picture.width(), picture.height());
    dialog.hide();
    return saved;
}

CConnServer Device(const QString& id, const QString& name, const char* isCheck)
{
    CConnServer record;
    record.DeviceId = id;
    record.Name = name;
    record.IsCheck = QString::fromLatin1(isCheck);
    record.IsDeleteFile = QStringLiteral("1");
    record.Server = QStringLiteral("hr-db.example.lan");
    record.User = QStringLiteral("attendance");
    record.Pass = QStringLiteral("secret");
    record.DbName = QStringLiteral("HR");
    record.FilePath = QStringLiteral("/srv/attendance/export");
    return record;
}

class QuietProgress : public ProgressSink {
public:
    void ReportStatus(const QString&) override {}
    void ShowNotification(const QString&, const QString&, const QString&, int) override {}
};

// Pulls 200,000 punches from a simulated terminal into the main window's
// progress window, takes its picture half way and cancels.
bool SaveProgress(CZelvorDlg& main, const QString& path)
{
    const QDate today = QDate::currentDate();
    SimProcess sim;
    if (!sim.Start({QStringLiteral("--count"), QStringLiteral("200000"), QStringLiteral("--users"),
                    QStringLiteral("400"), QStringLiteral("--from"),
                    QDate(today.year(), today.month(), 1).toString(Qt::ISODate),
                    QStringLiteral("--days"), QString::number(today.day()),
                    QStringLiteral("--rate"), QStringLiteral("40000")})) {
        std::fprintf(stderr, "FAILED to start the simulator: %s\n", qPrintable(sim.Error()));
        return false;
    }
    main.show();
    NetTerminalLink link;
    QuietProgress progress;
    RecordingMessageSink messages;
    QTemporaryDir folder;
    TransferContext ctx{link, progress, messages, systemClock(), folder.path()};
    bool saved = false;
    ctx.onPunches = [&](qint64 received, qint64 announced) {
        main.ShowProgress(MainView::Stage::Download, received, announced);
        if (received < announced / 2)
            return true;
        QTest::qWait(300);
        QDialog* window = main.ProgressWindow();
        saved = window && Save(*window, path);
        return false; // the picture is taken: cancel the rest
    };
    CConnServer device;
    device.Name = QStringLiteral("Gate");
    device.IP = sim.Address();
    device.Port = QString::number(sim.Port());
    device.FilePath = folder.path();
    MovementList movements;
    const bool connectedOk = ConnectDevice(device, ctx);
    if (connectedOk)
        DownloadLog(
            device,
            DownloadRange{
                {}, {}, QDateTime(QDate(2000, 1, 1), QTime(0, 0)), QDateTime::currentDateTime()},
            movements, ctx);
    main.EndProgress(QString());
    delete main.ProgressWindow();
    main.hide();
    if (!saved)
        std::fprintf(stderr, "FAILED to picture the progress window (connected %d: %s)\n",
                     connectedOk, qPrintable(link.LastFailure()));
    return saved;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    LoadQtTranslations();
    QApplication::setLayoutDirection(Qt::RightToLeft);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelvor-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;
    bool ok = true;

    CZelvorDlg main(QDateTime::currentDateTime());
    main.SetFromDate(QDateTime(QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1),
                               QTime(0, 0)));
    main.InsertString(0, QStringLiteral("البوابة الرئيسية"));
    main.InsertString(1, QStringLiteral("مدخل المستودع"));
    main.InsertString(2, QStringLiteral("Gate 3"));
    main.SelectDevice(0);
    ok = Save(main, out.filePath(QStringLiteral("main-dialog.png"))) && ok;
    ok = SaveProgress(main, out.filePath(QStringLiteral("pull-progress.png"))) && ok;

    CConnServerList devices = {Device(QStringLiteral("1"), QStringLiteral("البوابة الرئيسية"), "1"),
                               Device(QStringLiteral("2"), QStringLiteral("مدخل المستودع"), "0"),
                               Device(QStringLiteral("3"), QStringLiteral("Gate 3"), "1")};
    RecordingMessageSink messages;
    CConfigDlg settings(devices, messages);
    ok = Save(settings, out.filePath(QStringLiteral("settings-dialog.png"))) && ok;

    CPasswordDlg password;
    FindControl<QLineEdit>(password, resid::password::kEdit)->setText(QStringLiteral("12345"));
    ok = Save(password, out.filePath(QStringLiteral("password-dialog.png"))) && ok;

    CCommandDlg command(QStringLiteral("/opt/Attendance Tools/bin/zelvor"));
    ok = Save(command, out.filePath(QStringLiteral("command-dialog.png"))) && ok;
    return ok ? 0 : 1;
}
