#pragma once

#include "platform/NotificationSink.h"
#include "platform/RegistryStore.h"
#include "resources/OperatorTexts.h"

#include <QString>

#include <cstdio>

// The two progress channels: the one-character code in the registry value
// DevStatus, which the host suite reads to follow a run, and the balloon
// notification at the notification-area icon. Their texts are in
// resources/OperatorTexts.h.
namespace progress {
inline const QString kStatusKey = QStringLiteral("Software\\Quorvant\\Tessar\\Settings\\");
inline const QString kStatusValue = QStringLiteral("DevStatus");
constexpr int kSeconds = 5;

// Field sizes of the notification record, terminating zero included.
constexpr int kTitleUnits = 64;
constexpr int kTextUnits = 256;
constexpr int kTipUnits = 128;

inline const QString kNoAddress = QStringLiteral("1");
inline const QString kTrying = QStringLiteral("2");
inline const QString kConnected = QStringLiteral("3");
inline const QString kConnectFailed = QStringLiteral("4");
inline const QString kNotConnected = QStringLiteral("5");
inline const QString kDownloaded = QStringLiteral("7");

} // namespace progress

// What the operations report through. The connection and the download take
// one of these; tests can record the calls.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // Writes the code into DevStatus. Silent towards the caller whatever happens.
    virtual void ReportStatus(const QString& code) = 0;
    virtual void ShowNotification(const QString& title, const QString& text,
                                  const QString& tip = optext::kTip,
                                  int seconds = progress::kSeconds) = 0;
};

// The real channel: DevStatus in the registry store (the key is opened, never
// created) with the line "Success closing key." / "Error closing key." on the
// console stream, and notifications through a sink that adds the icon on first use and
// modifies it afterwards.
class ProgressReporter : public ProgressSink {
public:
    ProgressReporter(RegistryStore& registry, NotificationSink& notifications,
                     FILE* console = stdout);

    void ReportStatus(const QString& code) override;
    void ShowNotification(const QString& title, const QString& text,
                          const QString& tip = optext::kTip,
                          int seconds = progress::kSeconds) override;

    bool TrayIconAdded() const { return trayIconAdded_; }
    void ResetTrayIcon() { trayIconAdded_ = false; }

private:
    RegistryStore& registry_;
    NotificationSink& notifications_;
    FILE* console_;
    bool trayIconAdded_ = false;
};

// Cuts a text to a notification field of the given size (terminating zero included).
QString FitNotificationField(const QString& text, int units);
