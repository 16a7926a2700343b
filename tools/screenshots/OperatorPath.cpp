#include "GuiTestKit.h"
#include "Pictures.h"
#include "Site.h"

#include "platform/Clock.h"
#include "platform/gui/DialogTemplate.h"
#include "resources/OperatorTexts.h"
#include "resources/ResourceIds.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>

namespace {

// The settings dialog over the main window: Test connection's answer, and
// the box that names the devices and fields Save would change (its No keeps
// the dialog open); then Cancel.
bool SaveSettingsStates(Site& site, const QDir& out)
{
    bool shown = false, tested = false, asked = false;
    guitest::WhenModalOpens(
        [&](QDialog& settings) {
            shown = Picture(settings, out.filePath(QStringLiteral("settings-dialog.png")));
            CatchNextBox(out.filePath(QStringLiteral("test-connection.png")), &tested);
            QTest::mouseClick(FindControl<QPushButton>(settings, resid::config::kTestButton),
                              Qt::LeftButton);
            CatchNextBox(out.filePath(QStringLiteral("save-warning.png")), &asked);
            QTest::mouseClick(FindControl<QPushButton>(settings, resid::kOk), Qt::LeftButton);
            settings.reject();
        },
        nullptr, kDialogWaitMs);
    site.Press(resid::main::kSettingsButton);
    return shown && tested && asked;
}

} // namespace

bool SaveOperatorPathStates(Site& site, const QDir& out)
{
    PictureWindow& main = site.Window();

    // A from-date after the to-date: refused before anything is done.
    main.SetFromDate(QDateTime(QDate::currentDate().addDays(2), QTime(0, 0)));
    bool refused = false;
    CatchNextBox(out.filePath(QStringLiteral("reversed-range.png")), &refused);
    bool ok = site.Pull() && refused;
    main.SetFromDate(FirstOfMonth(systemClock()));

    // Connected, then left alone with a terminal that ends a link idle for
    // 2 s: the caption and the status line say so.
    if (site.NewTerminal({QStringLiteral("--count"), QStringLiteral("3000"),
                          QStringLiteral("--idle-timeout"), QStringLiteral("2000")})) {
        site.Connect();
        ok = site.LinkOpen() && QTest::qWaitFor([&] { return !site.LinkOpen(); }, kDialogWaitMs) &&
             ok;
        ok = Picture(main, out.filePath(QStringLiteral("link-ended.png"))) && ok;
    } else {
        ok = false;
    }

    ok = SaveSettingsStates(site, out) && ok;

    // The command line for a scheduler, from the window's own button.
    bool commanded = false;
    guitest::WhenModalOpens(
        [&](QDialog& command) {
            commanded = Picture(command, out.filePath(QStringLiteral("command-dialog.png")));
            command.reject();
        },
        nullptr, kDialogWaitMs);
    site.Press(resid::main::kCommandButton);
    return commanded && ok;
}
