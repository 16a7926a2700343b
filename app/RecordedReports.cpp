#include "app/RecordedReports.h"

void RecordedReports::ReportStatus(const QString& code)
{
    reports_.append({Report::Kind::Status, code, {}, {}, 0});
}

void RecordedReports::ShowNotification(const QString& title, const QString& text,
                                       const QString& tip, int seconds)
{
    reports_.append({Report::Kind::Notification, title, text, tip, seconds});
}

void RecordedReports::Show(const QString& text, const QString& caption)
{
    reports_.append({Report::Kind::Message, text, caption, {}, 0});
}

void RecordedReports::Replay(ProgressSink& progress, MessageSink& messages)
{
    for (const Report& report : std::as_const(reports_)) {
        switch (report.kind) {
        case Report::Kind::Status:
            progress.ReportStatus(report.first);
            break;
        case Report::Kind::Notification:
            progress.ShowNotification(report.first, report.second, report.tip, report.seconds);
            break;
        case Report::Kind::Message:
            messages.Show(report.first, report.second);
            break;
        }
    }
    reports_.clear();
}
