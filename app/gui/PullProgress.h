#pragma once

#include "app/MainView.h"

#include <QPointer>
#include <QProgressDialog>

// The progress window of a pull: the punches received out of the count the
// terminal announced, then the posting. It keeps the window repainting while
// the pull runs (the pull runs on the window's thread) and offers Cancel
// while punches arrive.
class PullProgress {
public:
    explicit PullProgress(QWidget* parent) : parent_(parent) {}
    ~PullProgress();

    // False once the operator pressed Cancel.
    bool Show(MainView::Stage stage, qint64 done, qint64 total);
    void End();
    // The window while it is open; null otherwise.
    QProgressDialog* Dialog() const { return dialog_; }

private:
    QWidget* parent_;
    QPointer<QProgressDialog> dialog_;
    bool cancelled_ = false;
};
