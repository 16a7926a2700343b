#include "app/PullOutcome.h"

#include "resources/Isolated.h"
#include "resources/OperatorTexts.h"

#include <QDir>
#include <QLocale>
#include <QStringList>

QString PullOutcomeText(const DeviceOutcome& outcome, bool linkOpen, const QString& connectCaption)
{
    const QLocale locale;
    const DownloadReport& download = outcome.download;
    // Three paragraphs: how it ended, the figures, the link.
    QStringList ending;
    if (!outcome.name.isEmpty())
        ending.append(optext::kOutcomeDevice.arg(outcome.name));
    if (download.stop == DownloadReport::Stop::NotConnected) {
        ending.append(optext::kPullNotConnected.arg(connectCaption));
        return ending.join(QLatin1Char('\n'));
    }
    if (outcome.linkReopened)
        ending.append(optext::kPullReopened);
    // The reason, where the figures do not say it; an earlier export file is
    // mentioned only where there was one.
    const QString kept = download.exportKept ? QLatin1Char(' ') + optext::kExportKept : QString();
    if (download.Cancelled()) {
        ending.append(optext::kPullCancelled + kept);
    } else if (!outcome.downloaded) {
        ending.append(optext::kPullFailed + kept);
        ending.append(Isolated(outcome.failure));
    } else if (!download.exportProblem.isEmpty()) {
        // No success text: the export file is a product of the pull.
        ending.append(outcome.postingDone ? optext::kPostedExportFailed
                                          : optext::kPulledExportFailed);
    } else if (outcome.postingDone) {
        ending.append(optext::kPulledAndPosted);
    } else {
        ending.append(optext::kPulledNotPosted);
        ending.append(outcome.failure.isEmpty() ? optext::kNoDeviceChosen
                                                : Isolated(outcome.failure));
    }

    QStringList figures;
    if (download.announced >= 0)
        figures.append(optext::kOutcomeReceived.arg(locale.toString(download.received),
                                                    locale.toString(download.announced)));
    else if (download.received > 0)
        figures.append(optext::kOutcomeReceivedUnknown.arg(locale.toString(download.received)));
    if (outcome.downloaded) {
        figures.append(optext::kOutcomeInRange.arg(locale.toString(outcome.inRange)));
        if (outcome.postingDone) {
            figures.append(optext::kOutcomePosted.arg(locale.toString(outcome.posting.inserted)));
            figures.append(optext::kOutcomePresent.arg(locale.toString(outcome.posting.skipped)));
            figures.append(optext::kOutcomeRefused.arg(locale.toString(outcome.posting.failed)));
        }
        if (!download.exportFile.isEmpty())
            figures.append(
                (download.exportDeleted ? optext::kOutcomeExportDeleted : optext::kOutcomeExport)
                    .arg(QDir::toNativeSeparators(download.exportFile)));
        else if (!download.exportProblem.isEmpty())
            figures.append(optext::kOutcomeExportNotWritten.arg(Isolated(download.exportProblem)));
    }

    QStringList paragraphs{ending.join(QLatin1Char('\n'))};
    if (!figures.isEmpty())
        paragraphs.append(figures.join(QLatin1Char('\n')));
    if (!linkOpen)
        paragraphs.append(optext::kOutcomeLinkClosed.arg(connectCaption));
    return paragraphs.join(QStringLiteral("\n\n"));
}
