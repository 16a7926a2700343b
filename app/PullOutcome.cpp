#include "app/PullOutcome.h"

#include "resources/OperatorTexts.h"

#include <QLocale>
#include <QStringList>

namespace {

// A left-to-right text (a path, an English reason) kept whole inside a
// right-to-left line, its slashes and full stops where they belong.
QString Isolated(const QString& text)
{
    return QChar(0x2066) + text + QChar(0x2069);
}

} // namespace

QString PullOutcomeText(const DeviceOutcome& outcome, bool linkWasOpen, bool linkOpen)
{
    const QLocale locale;
    const DownloadReport& download = outcome.download;
    QStringList lines;
    if (!outcome.name.isEmpty())
        lines.append(optext::kOutcomeDevice.arg(outcome.name));
    if (!linkWasOpen) {
        lines.append(optext::kPullNotConnected);
        return lines.join(QLatin1Char('\n'));
    }

    // How it ended, and the reason where the figures do not say it.
    if (download.cancelled) {
        lines.append(optext::kPullCancelled);
    } else if (!outcome.downloaded) {
        lines.append(optext::kPullFailed);
        lines.append(Isolated(outcome.failure));
    } else if (outcome.posted) {
        lines.append(optext::kPulledAndPosted);
    } else {
        lines.append(optext::kPulledNotPosted);
        lines.append(outcome.failure.isEmpty() ? optext::kNoDeviceChosen
                                               : Isolated(outcome.failure));
    }

    if (download.announced >= 0)
        lines.append(optext::kOutcomeReceived.arg(locale.toString(download.received),
                                                  locale.toString(download.announced)));
    else if (download.received > 0)
        lines.append(optext::kOutcomeReceivedUnknown.arg(locale.toString(download.received)));
    if (outcome.downloaded) {
        lines.append(optext::kOutcomeInRange.arg(locale.toString(outcome.inRange)));
        if (outcome.posted) {
            lines.append(optext::kOutcomePosted.arg(locale.toString(outcome.posting.inserted)));
            lines.append(optext::kOutcomePresent.arg(locale.toString(outcome.posting.skipped)));
            lines.append(optext::kOutcomeRefused.arg(locale.toString(outcome.posting.failed)));
        }
        if (!download.exportFile.isEmpty())
            lines.append(
                (download.exportDeleted ? optext::kOutcomeExportDeleted : optext::kOutcomeExport)
                    .arg(Isolated(download.exportFile)));
        else if (!download.exportProblem.isEmpty())
            lines.append(optext::kOutcomeExportNotWritten.arg(Isolated(download.exportProblem)));
    }
    if (!linkOpen)
        lines.append(optext::kOutcomeLinkClosed);
    return lines.join(QLatin1Char('\n'));
}
