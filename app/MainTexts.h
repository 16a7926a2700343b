#pragma once

#include <QString>

// Texts of the main window that the run control sets.
namespace maintexts {
inline const QString kTitle = QStringLiteral("الإتصال بالأجهزة-v2");
inline const QString kNetworkGroup = QStringLiteral("الاتصال الشبكي");
inline const QString kConnectButton = QStringLiteral("الإتصال");
inline const QString kPullButton = QStringLiteral("سحب البيانات");
inline const QString kChooseDevice = QStringLiteral("اختر جهاز");
} // namespace maintexts
