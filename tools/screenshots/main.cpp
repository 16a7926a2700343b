// Takes pictures of the program's windows on the current display, so their
// look can be checked by eye: the main window with its run control as the
// program makes them, against simulated terminals and the test database
// (scripts/with-testdb), from the program's start (its password prompt)
// through pulls: the progress window half way through 200,000 punches, the
// window after Cancel, the posting and the outcome of a complete pull, a
// terminal that breaks off (its message box, then the window), the status
// line that stands in for a notification area, and a message box; then the
// operator's path through the window and its dialogs (OperatorPath.cpp).
//
//   zelvor-screenshots OUTPUT_FOLDER

#include "GuiTestKit.h"
#include "Pictures.h"
#include "Site.h"

#include "platform/Clock.h"
#include "platform/ProcessDefaults.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/QtTranslations.h"
#include "resources/ResourceIds.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

using Stage = MainView::Stage;

// The program's start: the password prompt (the first password typed
// becomes it), then the window with the main gate chosen.
bool SaveStart(Site& site, const QDir& out)
{
    bool typed = false;
    guitest::WhenModalOpens(
        [&](QDialog& prompt) {
            FindControl<QLineEdit>(prompt, resid::password::kEdit)
                ->setText(QStringLiteral("12345"));
            typed = Picture(prompt, out.filePath(QStringLiteral("password-dialog.png")));
            QTest::mouseClick(FindControl<QPushButton>(prompt, resid::kOk), Qt::LeftButton);
        },
        nullptr, kDialogWaitMs);
    site.Start();
    site.Choose(Site::kGate);
    const bool shown = Picture(site.Window(), out.filePath(QStringLiteral("main-dialog.png")));
    // Without a notification area (none under Xvfb) the window shows the
    // notices itself, on a line it grows by.
    site.ShowNotices();
    return typed && shown;
}

// Half way through 200,000 punches, the window's Cancel; then the window.
bool SaveCancelledPull(Site& site, const QDir& out)
{
    if (!site.NewTerminal({QStringLiteral("--count"), QStringLiteral("200000"),
                           QStringLiteral("--rate"), QStringLiteral("40000")}))
        return false;
    PictureWindow& main = site.Window();
    bool halfWay = false;
    main.AtMoment(
        [](Stage stage, qint64 received, qint64 announced) {
            return stage == Stage::Download && announced > 0 && received >= announced / 2;
        },
        [&] {
            halfWay = SavePullWindow(main, out.filePath(QStringLiteral("pull-progress.png")));
            if (QDialog* pull = main.ProgressWindow())
                QTest::mouseClick(pull->findChild<QPushButton*>(), Qt::LeftButton);
        });
    site.Connect();
    bool ok = site.Pull() && halfWay;
    ok = SaveWithPullWindow(main, out.filePath(QStringLiteral("pull-cancelled.png"))) && ok;
    site.ClosePull();
    return ok;
}

// The posting's reports while it stages the punches, or (all staged) while
// it merges them into the table.
PictureWindow::Test Posting(bool merging)
{
    return [merging](Stage stage, qint64 done, qint64 total) {
        return stage == Stage::Posting && (done >= total) == merging;
    };
}

// A complete pull of 20,000 punches, of which the suite holds those of the
// range's later days already (an earlier pull from the middle of the range):
// the posting, then the outcome.
bool SaveCompletePull(Site& site, const QDir& out)
{
    if (!site.NewTerminal({QStringLiteral("--count"), QStringLiteral("20000")}))
        return false;
    PictureWindow& main = site.Window();
    const QDateTime first = FirstOfMonth(systemClock());
    site.Connect();
    main.SetFromDate(first.addSecs(first.secsTo(main.ToDate()) / 2));
    bool ok = site.Pull();
    site.ClosePull();
    main.SetFromDate(first);

    bool staging = false, merging = false;
    main.AtMoment(Posting(false), [&] {
        staging = SavePullWindow(main, out.filePath(QStringLiteral("posting-progress.png")));
    });
    main.AtMoment(Posting(true), [&] {
        merging = SavePullWindow(main, out.filePath(QStringLiteral("posting-merge.png")));
    });
    site.Connect();
    ok = site.Pull() && staging && merging && ok;
    ok = SaveWithPullWindow(main, out.filePath(QStringLiteral("pull-outcome.png"))) && ok;
    site.ClosePull();
    return ok;
}

// A terminal that closes the connection after 30,000 of 60,000 punches: the
// message box, then the window.
bool SaveBrokenPull(Site& site, const QDir& out)
{
    if (!site.NewTerminal({QStringLiteral("--count"), QStringLiteral("60000"),
                           QStringLiteral("--rate"), QStringLiteral("200000"),
                           QStringLiteral("--close-after"), QStringLiteral("30000")}))
        return false;
    site.Connect();
    bool boxSaved = false;
    CatchNextBox(out.filePath(QStringLiteral("broken-terminal-box.png")), &boxSaved);
    bool ok = site.Pull() && boxSaved;
    ok = SaveWithPullWindow(site.Window(), out.filePath(QStringLiteral("broken-terminal.png"))) &&
         ok;
    site.ClosePull();
    return ok;
}

// The main window through its pulls and notices.
bool SaveMainWindowStates(Site& site, const QDir& out)
{
    bool ok = SaveCancelledPull(site, out);
    ok = SaveCompletePull(site, out) && ok;
    ok = SaveBrokenPull(site, out) && ok;

    // Connected again: the notice on the status line.
    site.Connect();
    ok = Picture(site.Window(), out.filePath(QStringLiteral("status-line.png"))) && ok;
    site.Disconnect();

    // A message box of the window: Arabic, right to left, with the terminal's
    // technical reason; Qt's own OK in Arabic. A device whose terminal is off
    // refuses the connection.
    bool boxSaved = false;
    CatchNextBox(out.filePath(QStringLiteral("message-box.png")), &boxSaved);
    site.Choose(Site::kGate3);
    site.Connect();
    site.Choose(Site::kGate);
    return ok && boxSaved;
}

} // namespace

int main(int argc, char* argv[])
{
    SetProcessDefaults();
    QApplication app(argc, argv);
    // As the program: a dialog that closes while no other window shows
    // (the password prompt) does not end the event loops.
    QApplication::setQuitOnLastWindowClosed(false);
    LoadQtTranslations();
    QApplication::setLayoutDirection(Qt::RightToLeft);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelvor-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;
    Site site;
    if (!site.Prepare())
        return 1;
    bool ok = SaveStart(site, out);
    ok = SaveMainWindowStates(site, out) && ok;
    ok = SaveOperatorPathStates(site, out) && ok;
    return ok ? 0 : 1;
}
