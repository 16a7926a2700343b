#pragma once

#include "platform/NotificationSink.h"
#include "platform/Progress.h"
#include "store/Records.h"

#include <QPixmap>
#include <QRect>
#include <QString>

class CZelvorDlg;
class QWidget;

// What the pictures of the dialogs are taken with.

inline const QString kGate = QStringLiteral("البوابة الرئيسية");

// Saves picture at path and says so on standard error; false when it could not.
bool Report(const QPixmap& picture, const QString& path);
// Shows dialog, takes its picture, hides it.
bool Save(QWidget& dialog, const QString& path);
// Where a window lies on the screen with its frame and title bar. Qt learns
// the frame from the window manager, at times late or not at all for a
// short-lived box: like's frame (a window the manager has framed) stands in.
QRect FramedRect(QWidget& window, QWidget& like);
// The part of the screen that holds the main window and the pull's window,
// which is moved from over the main window to below it, so that the picture
// shows the connect button's caption too.
bool SaveWithPullWindow(CZelvorDlg& main, const QString& path);
// Takes the picture of the next message box and closes it, as its first
// button would (a question's No).
void CatchNextBox(const QString& path, bool* saved);
// A device record with sample settings.
CConnServer Device(const QString& id, const QString& name, const char* isCheck);

// The progress channel of the pictures: no DevStatus, the notifications on
// the window's status line (the display has no notification area).
class NoticeProgress : public ProgressSink {
public:
    explicit NoticeProgress(NotificationSink& notices) : notices_(notices) {}
    void ReportStatus(const QString&) override {}
    void ShowNotification(const QString& title, const QString& text, const QString& tip,
                          int seconds) override
    {
        notices_.Modify({title, text, tip, seconds * 1000});
    }

private:
    NotificationSink& notices_;
};

// The operator's path through the window with its run control: a reversed
// range refused, a link the terminal ended while idle, a posting half way
// and merging, Test connection's success, and Save's question before it
// replaces one device's values.
bool SaveOperatorPathStates(const QString& outFolder);
