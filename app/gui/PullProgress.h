#pragma once

#include "app/MainView.h"

#include <QPointer>

#include <atomic>
#include <mutex>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QWidget;

// The progress window of a pull: the punches received out of the count the
// terminal announced, then the posting, and at the end the pull's outcome,
// which stays until the operator closes the window. The pull runs on another
// thread: Show may be called from there, and the window follows on its own
// thread. Cancel (or closing the window, or Escape) stops the download; the
// posting runs in one transaction to its end.
class PullProgress {
public:
    explicit PullProgress(QWidget* parent) : parent_(parent) {}
    ~PullProgress();

    // Any thread. False once the operator pressed Cancel.
    bool Show(MainView::Stage stage, qint64 done, qint64 total);
    // The window's thread: the outcome replaces the progress, with a button
    // that closes the window.
    void End(const QString& outcome);
    // The window while it is open; null otherwise.
    QDialog* Window() const { return window_; }

private:
    struct State {
        MainView::Stage stage = MainView::Stage::Download;
        qint64 done = 0;
        qint64 total = -1;
    };
    // The window's thread: shows the last state given to Show.
    void Follow();
    void Open();
    // Cancel, the close box and Escape: during the download they cancel it,
    // after the outcome they close the window.
    void OnClose();

    QWidget* parent_;
    QPointer<QDialog> window_;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    std::mutex lock_;
    State state_;               // the last state given to Show
    bool followQueued_ = false; // a Follow is on its way to the window's thread
    std::atomic<bool> cancelled_ = false;
    bool ended_ = false;
};
