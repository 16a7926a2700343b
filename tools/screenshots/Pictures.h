#pragma once

#include "platform/NotificationSink.h"
#include "platform/Progress.h"

#include <QPixmap>
#include <QRect>
#include <QString>

#include <memory>

class CZelvorDlg;
class QWidget;

// What the pictures of the dialogs are taken with.

// How long a window may take to open, on a busy machine.
constexpr int kDialogWaitMs = 60000;

// Saves picture at path and says so on standard error; false when it could not.
bool Report(const QPixmap& picture, const QString& path);
// Takes the picture of a window that is shown, once it is on the screen.
bool Picture(QWidget& window, const QString& path);
// Where a window lies on the screen with its frame and title bar. Qt learns
// the frame from the window manager, at times late or not at all for a
// short-lived box: like's frame (a window the manager has framed) stands in.
QRect FramedRect(QWidget& window, QWidget& like);
// The pull's window as it is now.
bool SavePullWindow(CZelvorDlg& main, const QString& path);
// The part of the screen that holds the main window and the pull's window,
// which is moved from over the main window to below it, so that the picture
// shows the connect button's caption too.
bool SaveWithPullWindow(CZelvorDlg& main, const QString& path);
// Takes the picture of the next message box and closes it, as its first
// button would (a question's No).
void CatchNextBox(const QString& path, bool* saved);

// The progress channel of the pictures: no DevStatus; the notifications go
// to the sink given to Show (the window's status line: the display has no
// notification area), none before.
class NoticeProgress : public ProgressSink {
public:
    // On the window's thread, before the work that notifies.
    void Show(std::unique_ptr<NotificationSink> notices) { notices_ = std::move(notices); }
    void ReportStatus(const QString&) override {}
    void ShowNotification(const QString& title, const QString& text, const QString& tip,
                          int seconds) override
    {
        if (notices_)
            notices_->Modify({title, text, tip, seconds * 1000});
    }

private:
    std::unique_ptr<NotificationSink> notices_;
};
