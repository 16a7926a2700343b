#pragma once

#include <QIcon>

// The program's icon (resource 128): the window icon and the notification-area
// icon. Drawn rather than loaded, so it needs no image plug-in.
QIcon AppIcon();
