#include "platform/windows/WindowsRegistryStore.h"

#include <QStringList>

#include <vector>

#include <windows.h>

namespace {

// Values are short texts; a huge one is not a value this program wrote.
constexpr DWORD kLimitBytes = 1 << 20;

const wchar_t* Wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

// Closes an opened key when it goes out of scope.
class OpenKey {
public:
    OpenKey(const QString& path, REGSAM access)
    {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, access, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~OpenKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

WindowsRegistryStore::WindowsRegistryStore(QString rootKey) : rootKey_(std::move(rootKey)) {}

QString WindowsRegistryStore::FullKey(const QString& key) const
{
    QStringList levels = rootKey_.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    levels += key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return levels.join(QLatin1Char('\\'));
}

bool WindowsRegistryStore::KeyExists(const QString& key) const
{
    return OpenKey(FullKey(key), KEY_QUERY_VALUE).get() != nullptr;
}

bool WindowsRegistryStore::CreateKey(const QString& key)
{
    HKEY made = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(FullKey(key)), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE, nullptr, &made, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(made);
    return true;
}

bool WindowsRegistryStore::SetValue(const QString& key, const QString& name, const QString& text)
{
    if (name.isEmpty())
        return false;
    const OpenKey opened(FullKey(key), KEY_SET_VALUE);
    if (!opened.get())
        return false;
    // The text with its terminating zero, as the host suite reads a string.
    const auto bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(opened.get(), Wide(name), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.utf16()), bytes) == ERROR_SUCCESS;
}

std::optional<QString> WindowsRegistryStore::QueryValue(const QString& key,
                                                        const QString& name) const
{
    if (name.isEmpty())
        return std::nullopt;
    const OpenKey opened(FullKey(key), KEY_QUERY_VALUE);
    if (!opened.get())
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(opened.get(), Wide(name), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > kLimitBytes)
        return std::nullopt;
    // Room for an odd last byte too; the call is told the room it has.
    QString text(qsizetype((size + 1) / sizeof(wchar_t)), Qt::Uninitialized);
    size = DWORD(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(opened.get(), Wide(name), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.truncate(qsizetype(size / sizeof(wchar_t)));
    // Stored strings usually carry their terminating zero; it is not part of the text.
    if (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

bool WindowsRegistryStore::ValueExists(const QString& key, const QString& name) const
{
    const OpenKey opened(FullKey(key), KEY_QUERY_VALUE);
    return opened.get() && RegQueryValueExW(opened.get(), Wide(name), nullptr, nullptr, nullptr,
                                            nullptr) == ERROR_SUCCESS;
}

QStringList WindowsRegistryStore::ValueNames(const QString& key) const
{
    QStringList names;
    const OpenKey opened(FullKey(key), KEY_QUERY_VALUE);
    if (!opened.get())
        return names;
    // Value names are at most 16383 characters.
    std::vector<wchar_t> name(16384);
    for (DWORD index = 0;; ++index) {
        auto length = DWORD(name.size());
        const LSTATUS status = RegEnumValueW(opened.get(), index, name.data(), &length, nullptr,
                                             nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        names.append(QString::fromWCharArray(name.data(), int(length)));
    }
    return names;
}

bool WindowsRegistryStore::DeleteValue(const QString& key, const QString& name)
{
    if (name.isEmpty())
        return false;
    const OpenKey opened(FullKey(key), KEY_SET_VALUE);
    if (!opened.get())
        return !KeyExists(key);
    const LSTATUS status = RegDeleteValueW(opened.get(), Wide(name));
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

QString WindowsRegistryStore::KeyPlace(const QString& key) const
{
    return QStringLiteral("HKEY_CURRENT_USER\\") + FullKey(key);
}

std::unique_ptr<RegistryStore> UserRegistry()
{
    return std::make_unique<WindowsRegistryStore>();
}
