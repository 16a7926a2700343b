// Opens each of the four dialogs with sample content on the current display
// and saves a picture of each, so their look can be checked by eye; and the
// main window through pulls from the terminal simulator: the progress window
// half way through 200,000 punches, the window after Cancel, the outcome of a
// complete pull, a terminal that breaks off (its message box, then the
// window), the status line that stands in for a notification area, and a
// message box; and the operator's path with the window's run control
// (OperatorPath.cpp).
//
//   zelvor-screenshots OUTPUT_FOLDER

#include "Pictures.h"
#include "SimProcess.h"

#include "access/gui/CCommandDlg.h"
#include "access/gui/CPasswordDlg.h"
#include "app/DeviceRun.h"
#include "app/PullOutcome.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/NotificationSink.h"
#include "platform/ProcessDefaults.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/MessageBoxSink.h"
#include "platform/gui/QtTranslations.h"
#include "resources/OperatorTexts.h"
#include "resources/ResourceIds.h"
#include "settings/gui/CConfigDlg.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"
#include "terminal/NetTerminalLink.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

// The export files' folder of the pictures' pulls: a plain name to show.
class ExportFolder {
public:
    ExportFolder() { QDir().mkpath(path_); }
    ~ExportFolder() { QDir(path_).removeRecursively(); }
    const QString& path() const { return path_; }

private:
    QString path_ = QDir::temp().filePath(QStringLiteral("zelvor-export"));
};

// A pull into the main window from a simulated terminal started with
// options, over a link of its own on this thread; punches decides on each
// count (false cancels). The window's caption and outcome follow, as after
// the operator's pull. The posting's figures of a complete download are
// samples: there is no database here.
class Pull {
public:
    Pull(CZelvorDlg& main, ProgressSink& progress, MessageSink& messages)
        : main_(main), ctx_{link_, progress, messages, systemClock(), folder_.path()}
    {
    }

    bool Run(const QStringList& options, std::function<bool(qint64, qint64)> punches)
    {
        const QDate today = QDate::currentDate();
        if (!sim_.Start(options +
                        QStringList{QStringLiteral("--users"), QStringLiteral("400"),
                                    QStringLiteral("--from"),
                                    QDate(today.year(), today.month(), 1).toString(Qt::ISODate),
                                    QStringLiteral("--days"), QString::number(today.day())})) {
            std::fprintf(stderr, "FAILED to start the simulator: %s\n", qPrintable(sim_.Error()));
            return false;
        }
        CConnServer device = Device(QStringLiteral("1"), kGate, "1");
        device.IsDeleteFile = QStringLiteral("0");
        device.IP = sim_.Address();
        device.Port = QString::number(sim_.Port());
        device.FilePath = folder_.path();
        if (!ConnectDevice(device, ctx_)) {
            std::fprintf(stderr, "FAILED to connect: %s\n", qPrintable(link_.LastFailure()));
            return false;
        }
        main_.SetConnectCaption(optext::kDisconnectCaption);
        ctx_.onPunches = [&](qint64 received, qint64 announced) {
            return main_.ShowProgress(MainView::Stage::Download, received, announced) &&
                   punches(received, announced);
        };
        MovementList movements;
        const DownloadRange range{{},
                                  {},
                                  QDateTime(QDate(today.year(), today.month(), 1), {}),
                                  QDateTime::currentDateTime()};
        DeviceOutcome outcome;
        outcome.name = kGate;
        outcome.downloaded = DownloadLog(device, range, movements, ctx_);
        outcome.download = ctx_.download;
        outcome.inRange = movements.size();
        if (outcome.downloaded) {
            outcome.postingDone = true;
            outcome.posting.skipped = int(std::min<qint64>(outcome.inRange, 250));
            outcome.posting.inserted = int(outcome.inRange) - outcome.posting.skipped;
        } else {
            outcome.failure = QStringLiteral("download failed: ") + link_.LastFailure();
        }
        if (!link_.IsOpen())
            main_.SetConnectCaption(optext::kConnectCaption);
        main_.EndProgress(
            PullOutcomeText(outcome, link_.IsOpen(),
                            link_.IsOpen() ? optext::kDisconnectCaption : optext::kConnectCaption));
        return true;
    }

    // Closes the outcome, as its button does.
    void Close()
    {
        if (QDialog* window = main_.ProgressWindow())
            QTest::mouseClick(window->findChild<QPushButton*>(), Qt::LeftButton);
        link_.CloseLink();
        main_.SetConnectCaption(optext::kConnectCaption);
    }

private:
    CZelvorDlg& main_;
    SimProcess sim_;
    NetTerminalLink link_;
    ExportFolder folder_;
    TransferContext ctx_;
};

// The main window through its pulls and notices.
bool SaveMainWindowStates(CZelvorDlg& main, const QDir& out)
{
    bool ok = true;
    main.show();
    // Without a notification area (none under Xvfb) the window shows the
    // notices itself.
    const std::unique_ptr<NotificationSink> notices = main.MakeNotificationSink(systemClock());
    NoticeProgress progress(*notices);
    MessageBoxSink boxes(&main);

    {
        // Half way through 200,000 punches, then Cancel.
        Pull pull(main, progress, boxes);
        bool halfWay = false;
        ok = pull.Run({QStringLiteral("--count"), QStringLiteral("200000"),
                       QStringLiteral("--rate"), QStringLiteral("40000")},
                      [&](qint64 received, qint64 announced) {
                          if (halfWay || received < announced / 2)
                              return true;
                          halfWay = true;
                          QTest::qWait(300);
                          QDialog* window = main.ProgressWindow();
                          ok = window &&
                               Save(*window, out.filePath(QStringLiteral("pull-progress.png"))) &&
                               ok;
                          window->show();
                          QTest::mouseClick(window->findChild<QPushButton*>(), Qt::LeftButton);
                          return true; // the window says whether to go on
                      }) &&
             ok;
        ok = SaveWithPullWindow(main, out.filePath(QStringLiteral("pull-cancelled.png"))) && ok;
        pull.Close();
    }
    {
        // A complete pull of 20,000 punches.
        Pull pull(main, progress, boxes);
        ok = pull.Run({QStringLiteral("--count"), QStringLiteral("20000")}, [](qint64, qint64) {
            return true;
        }) && ok;
        ok = SaveWithPullWindow(main, out.filePath(QStringLiteral("pull-outcome.png"))) && ok;
        pull.Close();
    }
    {
        // A terminal that closes the connection after 30,000 of 60,000 punches.
        Pull pull(main, progress, boxes);
        bool boxSaved = false;
        CatchNextBox(out.filePath(QStringLiteral("broken-terminal-box.png")), &boxSaved);
        ok = pull.Run({QStringLiteral("--count"), QStringLiteral("60000"), QStringLiteral("--rate"),
                       QStringLiteral("200000"), QStringLiteral("--close-after"),
                       QStringLiteral("30000")},
                      [](qint64, qint64) { return true; }) &&
             boxSaved && ok;
        ok = SaveWithPullWindow(main, out.filePath(QStringLiteral("broken-terminal.png"))) && ok;
        pull.Close();
    }

    // Connected again: the latest notice on the status line.
    progress.ShowNotification(optext::kConnectedTitle, optext::kConnectedText, optext::kTip, 5);
    main.SetConnectCaption(optext::kDisconnectCaption);
    ok = Save(main, out.filePath(QStringLiteral("status-line.png"))) && ok;

    // A message box of the window: Arabic, right to left, Qt's own OK in Arabic.
    main.show();
    bool boxSaved = false;
    CatchNextBox(out.filePath(QStringLiteral("message-box.png")), &boxSaved);
    boxes.Show(optext::kChooseDevice);
    main.hide();
    return ok && boxSaved;
}

} // namespace

int main(int argc, char* argv[])
{
    SetProcessDefaults();
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
    main.InsertString(0, kGate);
    main.InsertString(1, QStringLiteral("مدخل المستودع"));
    main.InsertString(2, QStringLiteral("Gate 3"));
    main.SelectDevice(0);
    main.SetConnectCaption(QStringLiteral("الإتصال"));
    ok = Save(main, out.filePath(QStringLiteral("main-dialog.png"))) && ok;
    ok = SaveMainWindowStates(main, out) && ok;
    ok = SaveOperatorPathStates(out.path()) && ok;

    CConnServerList devices = {Device(QStringLiteral("1"), kGate, "1"),
                               Device(QStringLiteral("2"), QStringLiteral("مدخل المستودع"), "0"),
                               Device(QStringLiteral("3"), QStringLiteral("Gate 3"), "1")};
    RecordingMessageSink messages;
    CConfigDlg settings(devices, messages);
    ok = Save(settings, out.filePath(QStringLiteral("settings-dialog.png"))) && ok;

    CPasswordDlg password;
    FindControl<QLineEdit>(password, resid::password::kEdit)->setText(QStringLiteral("12345"));
    ok = Save(password, out.filePath(QStringLiteral("password-dialog.png"))) && ok;

#ifdef Q_OS_WIN
    CCommandDlg command(QStringLiteral("C:/Program Files/Attendance Tools/zelvor.exe"));
#else
    CCommandDlg command(QStringLiteral("/opt/Attendance Tools/bin/zelvor"));
#endif
    ok = Save(command, out.filePath(QStringLiteral("command-dialog.png"))) && ok;
    return ok ? 0 : 1;
}
