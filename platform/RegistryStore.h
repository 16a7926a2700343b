#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The current user's registry (HKEY_CURRENT_USER): keys named with backslashes
// between levels (a trailing one is dropped), holding text values. Where the
// progress code DevStatus, the start-up password and the last successes live.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    // Opening a key succeeds only when it exists.
    virtual bool KeyExists(const QString& key) const = 0;
    // Creates the key with every missing level; true when it exists afterwards.
    virtual bool CreateKey(const QString& key) = 0;
    // Stores a text value in an existing key; false when the key is missing or the write fails.
    virtual bool SetValue(const QString& key, const QString& name, const QString& text) = 0;
    // The value's text; nothing when the key or the value is missing or unreadable.
    virtual std::optional<QString> QueryValue(const QString& key, const QString& name) const = 0;
    // Whether the value is there, readable or not.
    virtual bool ValueExists(const QString& key, const QString& name) const = 0;
    // The names of the key's values; none when the key is missing.
    virtual QStringList ValueNames(const QString& key) const = 0;
    // Removes the value; true when it is gone afterwards (also when it was never there).
    virtual bool DeleteValue(const QString& key, const QString& name) = 0;
    // Where the key is, for messages: its folder, or its path in the registry.
    virtual QString KeyPlace(const QString& key) const = 0;
};

// The platform's own store of the current user: the registry on Windows, a
// file-backed stand-in (FileRegistryStore.h) elsewhere.
std::unique_ptr<RegistryStore> UserRegistry();
