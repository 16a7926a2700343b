#pragma once

#include "platform/RegistryStore.h"

// The registry's stand-in on platforms without one, and the store of tests:
// a key is a folder under the root, a value is a file named after it holding
// the text as UTF-8 without terminator. Values are replaced atomically; key
// folders are mode 0700, value files 0600.
class FileRegistryStore : public RegistryStore {
public:
    // Root of HKEY_CURRENT_USER: $XDG_CONFIG_HOME/zelvor/registry/HKEY_CURRENT_USER,
    // with ~/.config when XDG_CONFIG_HOME is unset or empty.
    static QString DefaultRoot();

    explicit FileRegistryStore(QString root = DefaultRoot());

    const QString& Root() const { return root_; }
    // The folder that holds the key.
    QString KeyFolder(const QString& key) const;

    bool KeyExists(const QString& key) const override;
    // Creates every missing level with mode 0700.
    bool CreateKey(const QString& key) override;
    bool SetValue(const QString& key, const QString& name, const QString& text) override;
    std::optional<QString> QueryValue(const QString& key, const QString& name) const override;
    bool ValueExists(const QString& key, const QString& name) const override;
    QStringList ValueNames(const QString& key) const override;
    bool DeleteValue(const QString& key, const QString& name) override;
    QString KeyPlace(const QString& key) const override { return KeyFolder(key); }

private:
    QString root_;
};
