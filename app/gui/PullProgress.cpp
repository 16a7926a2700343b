#include "app/gui/PullProgress.h"

#include "resources/OperatorTexts.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPushButton>

#include <climits>

PullProgress::~PullProgress()
{
    End();
}

bool PullProgress::Show(MainView::Stage stage, qint64 done, qint64 total)
{
    if (!dialog_) {
        dialog_ = new QProgressDialog(parent_);
        dialog_->setWindowTitle(optext::kPullTitle);
        dialog_->setWindowModality(Qt::WindowModal); // no second click on the window meanwhile
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setCancelButtonText(optext::kCancel);
        dialog_->setMinimumWidth(360);
        QObject::connect(dialog_, &QProgressDialog::canceled, [this] { cancelled_ = true; });
        cancelled_ = false;
    }
    const QLocale locale;
    const bool downloading = stage == MainView::Stage::Download;
    const bool known = total > 0 && total < INT_MAX;
    QString label;
    if (!downloading)
        label = optext::kPosting.arg(locale.toString(done), locale.toString(total));
    else if (total >= 0)
        label = optext::kDownloading.arg(locale.toString(done), locale.toString(total));
    else
        label = optext::kDownloadingUnknown.arg(locale.toString(done));
    dialog_->setLabelText(label);
    // Only the download can be cancelled; a posting runs in one transaction to its end.
    if (QPushButton* cancel = dialog_->findChild<QPushButton*>())
        cancel->setEnabled(downloading);
    dialog_->setRange(0, known ? int(total) : 0);
    if (known)
        dialog_->setValue(int(std::min(done, total)));
    dialog_->show();
    QCoreApplication::processEvents();
    return !(downloading && cancelled_);
}

void PullProgress::End()
{
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
    cancelled_ = false;
}
