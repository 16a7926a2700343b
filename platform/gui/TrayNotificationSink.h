#pragma once

#include "platform/NotificationSink.h"

#include <QIcon>
#include <QObject>

#include <functional>
#include <memory>

class QSystemTrayIcon;

// Notifications as balloons at an icon in the desktop's notification area.
// Add shows the icon and its first balloon, Modify a later one. A
// double-click on the icon runs onDoubleClick (the main window restores itself).
// Any thread may notify: the icon is shown by the thread that made the sink.
class TrayNotificationSink : public QObject, public NotificationSink {
    Q_OBJECT
public:
    TrayNotificationSink(const QIcon& icon, std::function<void()> onDoubleClick);
    ~TrayNotificationSink() override;

    bool Add(const TrayNote& note) override;
    bool Modify(const TrayNote& note) override;

private:
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::function<void()> onDoubleClick_;
};

// True when the desktop has a notification area that shows balloons; many
// Linux desktops have none.
bool NotificationAreaAvailable();
