#include "platform/gui/TrayNotificationSink.h"

#include "platform/WorkThread.h"

#include <QSystemTrayIcon>

TrayNotificationSink::TrayNotificationSink(const QIcon& icon, std::function<void()> onDoubleClick)
    : icon_(std::make_unique<QSystemTrayIcon>(icon)), onDoubleClick_(std::move(onDoubleClick))
{
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick && onDoubleClick_)
                    onDoubleClick_();
            });
}

TrayNotificationSink::~TrayNotificationSink() = default;

bool TrayNotificationSink::Add(const TrayNote& note)
{
    RunOnThreadOf(this, [&] {
        icon_->setToolTip(note.tip);
        icon_->show();
    });
    return Modify(note);
}

bool TrayNotificationSink::Modify(const TrayNote& note)
{
    bool shown = false;
    RunOnThreadOf(this, [&] {
        icon_->setToolTip(note.tip);
        icon_->showMessage(note.title, note.text, QSystemTrayIcon::Information, note.timeoutMs);
        shown = icon_->isVisible();
    });
    return shown;
}

bool NotificationAreaAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages();
}
