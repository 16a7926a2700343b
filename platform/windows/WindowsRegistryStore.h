#pragma once

#include "platform/RegistryStore.h"

// HKEY_CURRENT_USER through the Windows API, where the host suite reads
// DevStatus. Values are written as REG_SZ with their terminating zero; reading
// takes REG_SZ and REG_EXPAND_SZ (unexpanded) values.
class WindowsRegistryStore : public RegistryStore {
public:
    // Keys are taken below rootKey (a key of HKEY_CURRENT_USER), or below
    // HKEY_CURRENT_USER itself when it is empty.
    explicit WindowsRegistryStore(QString rootKey = {});

    bool KeyExists(const QString& key) const override;
    bool CreateKey(const QString& key) override;
    bool SetValue(const QString& key, const QString& name, const QString& text) override;
    std::optional<QString> QueryValue(const QString& key, const QString& name) const override;
    bool ValueExists(const QString& key, const QString& name) const override;
    QStringList ValueNames(const QString& key) const override;
    bool DeleteValue(const QString& key, const QString& name) override;
    // HKEY_CURRENT_USER\<the key's full path>
    QString KeyPlace(const QString& key) const override;

private:
    // The key's full path below HKEY_CURRENT_USER, levels joined by one backslash.
    QString FullKey(const QString& key) const;

    QString rootKey_;
};
