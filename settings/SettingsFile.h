#pragma once

#include "store/Records.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class CCrypt;

// config.ini: UTF-16LE with a byte-order mark, one section of nine lines per
// device with a DeviceId, the database password enciphered. Reading and
// writing work on a device list and say what happened; showing it to the
// operator is the caller's business.

// A device name, or any other text of a section, as config.ini can hold it:
// a section header and a key are one line each, so line breaks and other
// control characters become "_" (the text otherwise stays as it is). Names
// come from the suite's device table and from the operator; neither may add
// a section or a key of its own.
QString StorableDeviceName(const QString& name);
// Gives every device its storable name; returns "old -> new" for each name
// that changed, to tell the operator.
QStringList MakeNamesStorable(CConnServerList& devices);

// How the lines of the file end: a line feed as this program writes them, or
// carriage return and line feed, as a file edited on Windows has them.
enum class LineEnd { Lf, CrLf };

// The bytes SaveSettings writes for a device list (names made storable).
QByteArray SettingsBytes(const CConnServerList& devices, CCrypt& crypt,
                         LineEnd lineEnd = LineEnd::Lf);

// The line end of the file at path, by its first line: CR LF or, for any other
// file and for none, LF.
LineEnd LineEndOf(const QString& path);

// Writes the device list to path, keeping the line end of the file it replaces
// (LineEndOf), so a file read and saved unchanged stays byte for byte the
// same. It replaces the file in one step: a new file
// has mode 0600, an existing one keeps its owner, group and mode (less any
// access for others), so that a save by root leaves the file readable by the
// account that runs the program. False when the file cannot be written, with
// the reason in problem (when given); the old file is then left as it was.
bool SaveSettings(const CConnServerList& devices, const QString& path, CCrypt& crypt,
                  QString* problem = nullptr);

// What reading config.ini did.
struct SettingsLoad {
    bool read = false; // the file was read and its records added
    QString problem;   // when not: the message for the operator
};

// Adds the file's records to devices. A file that cannot be read (the problem
// then gives the system's reason) or lacks the byte-order mark changes nothing.
SettingsLoad LoadSettings(const QString& path, CConnServerList& devices, CCrypt& crypt);

// Empties devices and loads path into it.
SettingsLoad ReloadSettings(const QString& path, CConnServerList& devices, CCrypt& crypt);

// The names of the devices to offer for selection (IsCheck "1"), in list order.
QStringList OfferedNames(const CConnServerList& devices);
// The entry of OfferedNames that is the same device of the suite as device
// (a list read again may have renamed it, but not moved it to another
// terminal row or database); -1 when none is.
int OfferedEntryOf(const CConnServerList& devices, const CConnServer& device);

// Parses the text of a settings file (after its byte-order mark) into devices.
void ParseSettingsText(const QString& text, CConnServerList& devices, CCrypt& crypt);
