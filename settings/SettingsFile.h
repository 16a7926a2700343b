#pragma once

#include "store/Records.h"

#include <QByteArray>
#include <QString>

class CCrypt;
class DeviceChoice;
class MessageSink;
class ProgressSink;

// config.ini: UTF-16LE with a byte-order mark, one section of nine lines per
// device with a DeviceId, the database password enciphered.
namespace settingsfile {
inline const QString kOpenFailed = QStringLiteral("Failed to open the file.");
inline const QString kNotUtf16 = QStringLiteral("The file is not UTF-16 encoded.");
} // namespace settingsfile

// The bytes SaveSettings writes for a device list.
QByteArray SettingsBytes(const CConnServerList& devices, CCrypt& crypt);

// Writes the device list to path, replacing the file in one step (mode 0600).
// When the file cannot be written, shows the "file not opened" notification,
// leaves the old file as it was and returns false.
bool SaveSettings(const CConnServerList& devices, const QString& path, CCrypt& crypt,
                  ProgressSink& progress);

// Adds the file's records to devices and refills combo with the names of the
// devices to offer. A file that cannot be read or lacks the byte-order mark
// gets a message and changes nothing.
void LoadSettings(const QString& path, CConnServerList& devices, DeviceChoice& combo, CCrypt& crypt,
                  MessageSink& messages);

// Empties combo and inserts the names of the ticked devices (IsCheck "1"), in
// list order.
void FillDeviceChoice(const CConnServerList& devices, DeviceChoice& combo);

// Empties devices and loads path into it. Returns true.
bool ReloadSettings(const QString& path, CConnServerList& devices, DeviceChoice& combo,
                    CCrypt& crypt, MessageSink& messages);

// Parses the text of a settings file (after its byte-order mark) into devices,
// as LoadSettings does, without touching the combo.
void ParseSettingsText(const QString& text, CConnServerList& devices, CCrypt& crypt);
