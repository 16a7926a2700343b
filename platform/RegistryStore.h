#pragma once

#include <QString>

#include <optional>

// The current user's registry on this platform: a key is a folder under the
// root (backslashes separate levels, a trailing one is dropped), a value is a
// file named after it holding the text as UTF-8 without terminator. Values are
// replaced atomically; key folders are mode 0700, value files 0600.
class RegistryStore {
public:
    // Root of HKEY_CURRENT_USER: $XDG_CONFIG_HOME/zelvor/registry/HKEY_CURRENT_USER,
    // with ~/.config when XDG_CONFIG_HOME is unset or empty.
    static QString DefaultRoot();

    explicit RegistryStore(QString root = DefaultRoot());

    const QString& Root() const { return root_; }
    // The folder that holds the key.
    QString KeyFolder(const QString& key) const;
    // Opening a key succeeds only when its folder exists.
    bool KeyExists(const QString& key) const;
    // Creates the key with every missing level (mode 0700); true when it exists afterwards.
    bool CreateKey(const QString& key);
    // Stores a text value in an existing key; false when the key is missing or the write fails.
    bool SetValue(const QString& key, const QString& name, const QString& text);
    // The value's text; nothing when the key or the value is missing or unreadable.
    std::optional<QString> QueryValue(const QString& key, const QString& name) const;

private:
    QString root_;
};
