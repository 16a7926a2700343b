#include "platform/Progress.h"

ProgressReporter::ProgressReporter(RegistryStore& registry, NotificationSink& notifications,
                                   FILE* console)
    : registry_(registry), notifications_(notifications), console_(console)
{
}

void ProgressReporter::ReportStatus(const QString& code)
{
    // The host suite provides the key; the program only opens it. Writing fails
    // silently; the console line is the only trace.
    const bool opened = registry_.KeyExists(progress::kStatusKey);
    if (opened)
        registry_.SetValue(progress::kStatusKey, progress::kStatusValue, code);
    // One line each: nothing reads these bytes but people, through a terminal or
    // the journal, which would run them together without the line break.
    const char* line = opened ? "Success closing key.\n" : "Error closing key.\n";
    if (console_) {
        std::fputs(line, console_);
        std::fflush(console_);
    }
}

QString FitNotificationField(const QString& text, int units)
{
    if (text.size() < units)
        return text;
    QString cut = text.left(units - 1);
    // Do not leave half of a surrogate pair at the end.
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

void ProgressReporter::ShowNotification(const QString& title, const QString& text,
                                        const QString& tip, int seconds)
{
    TrayNote note;
    note.title = FitNotificationField(title, progress::kTitleUnits);
    note.text = FitNotificationField(text, progress::kTextUnits);
    note.tip = FitNotificationField(tip, progress::kTipUnits);
    note.timeoutMs = seconds * 1000;
    if (!trayIconAdded_) {
        notifications_.Add(note);
        trayIconAdded_ = true; // whatever the call returned
    } else {
        notifications_.Modify(note);
    }
}
