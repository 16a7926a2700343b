#include "app/gui/PullProgress.h"

#include "resources/OperatorTexts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <climits>
#include <functional>

namespace {

// A dialog whose close box and Escape go to onClose instead of closing it.
class PullWindow : public QDialog {
public:
    PullWindow(QWidget* parent, std::function<void()> onClose)
        : QDialog(parent), onClose_(std::move(onClose))
    {
    }
    void reject() override { onClose_(); }

private:
    std::function<void()> onClose_;
};

} // namespace

PullProgress::~PullProgress()
{
    delete window_;
}

bool PullProgress::Show(MainView::Stage stage, qint64 done, qint64 total)
{
    bool queue = false;
    {
        const std::lock_guard guard(lock_);
        state_ = State{stage, done, total};
        queue = !followQueued_;
        followQueued_ = true;
    }
    // The window is the window thread's: from another thread it follows when
    // that thread gets to it (several counts in between show as the last).
    if (QThread::currentThread() == parent_->thread())
        Follow();
    else if (queue)
        QMetaObject::invokeMethod(
            parent_, [this] { Follow(); }, Qt::QueuedConnection);
    return !(stage == MainView::Stage::Download && cancelled_);
}

void PullProgress::Open()
{
    auto* window = new PullWindow(parent_, [this] { OnClose(); });
    window->setWindowTitle(optext::kPullTitle);
    window->setWindowModality(Qt::WindowModal); // no second click on the main window meanwhile
    text_ = new QLabel(window);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse); // a path or a reason to copy
    text_->setFixedWidth(text_->fontMetrics().averageCharWidth() * 64);
    bar_ = new QProgressBar(window);
    buttons_ = new QDialogButtonBox(window);
    buttons_->addButton(optext::kCancel, QDialogButtonBox::RejectRole);
    QObject::connect(buttons_, &QDialogButtonBox::rejected, window, &QDialog::reject);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    layout->addWidget(buttons_);
    window_ = window;
    ended_ = false;
    window->show();
}

void PullProgress::Follow()
{
    State state;
    {
        const std::lock_guard guard(lock_);
        state = state_;
        followQueued_ = false;
    }
    if (ended_ && window_)
        return; // the outcome stays
    if (!window_)
        Open();
    const bool downloading = state.stage == MainView::Stage::Download;
    if (downloading && cancelled_)
        return; // it says that it is cancelling
    const QLocale locale;
    // Every punch staged: the merge into the table, one statement, shows as
    // a bar that keeps moving.
    const bool merging = !downloading && state.done >= state.total;
    const bool known = state.total > 0 && state.total < INT_MAX && !merging;
    if (merging)
        text_->setText(optext::kMerging.arg(locale.toString(state.total)));
    else if (!downloading)
        text_->setText(
            optext::kPosting.arg(locale.toString(state.done), locale.toString(state.total)));
    else if (state.total >= 0)
        text_->setText(
            optext::kDownloading.arg(locale.toString(state.done), locale.toString(state.total)));
    else
        text_->setText(optext::kDownloadingUnknown.arg(locale.toString(state.done)));
    bar_->setRange(0, known ? int(state.total) : 0);
    if (known)
        bar_->setValue(int(std::min(state.done, state.total)));
    // Only the download can be cancelled; a posting runs in one transaction to its end.
    buttons_->setEnabled(downloading);
}

void PullProgress::End(const QString& outcome)
{
    if (!window_)
        Open();
    ended_ = true;
    cancelled_ = false; // the next pull starts afresh
    bar_->hide();
    text_->setText(outcome);
    auto* button = qobject_cast<QPushButton*>(buttons_->buttons().constFirst());
    button->setText(optext::kClose);
    buttons_->setEnabled(true);
    button->setDefault(true);
    button->setFocus();
    window_->adjustSize(); // the outcome has more lines than the progress
}

void PullProgress::OnClose()
{
    if (!ended_) {
        // The download stops at its next punches; the posting cannot be stopped.
        if (buttons_->isEnabled()) {
            cancelled_ = true;
            text_->setText(optext::kCancelling);
            buttons_->setEnabled(false);
        }
        return;
    }
    window_->hide();
    window_->deleteLater();
    window_ = nullptr;
}
