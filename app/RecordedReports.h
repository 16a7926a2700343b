#pragma once

#include "platform/MessageSink.h"
#include "platform/Progress.h"

#include <QList>
#include <QString>

// Keeps the progress codes, notifications and messages of one device in the
// order they came, to hand them on later to the real sinks. A parallel run
// records each device this way, so its output reads as a run with one job.
class RecordedReports : public ProgressSink, public MessageSink {
public:
    void ReportStatus(const QString& code) override;
    void ShowNotification(const QString& title, const QString& text, const QString& tip,
                          int seconds) override;
    void Show(const QString& text, const QString& caption = {}) override;

    // Hands every report on, in order, and forgets them.
    void Replay(ProgressSink& progress, MessageSink& messages);

private:
    struct Report {
        enum class Kind { Status, Notification, Message } kind;
        QString first;  // code, title or text
        QString second; // notification text or caption
        QString tip;
        int seconds = 0;
    };
    QList<Report> reports_;
};
