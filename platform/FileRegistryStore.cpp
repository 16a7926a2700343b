#include "platform/FileRegistryStore.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

QString FileRegistryStore::DefaultRoot()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zelvor/registry/HKEY_CURRENT_USER");
}

FileRegistryStore::FileRegistryStore(QString root) : root_(std::move(root)) {}

QString FileRegistryStore::KeyFolder(const QString& key) const
{
    QString folder = root_;
    const QStringList levels = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& level : levels)
        folder += QLatin1Char('/') + level;
    return folder;
}

bool FileRegistryStore::KeyExists(const QString& key) const
{
    return QFileInfo(KeyFolder(key)).isDir();
}

bool FileRegistryStore::CreateKey(const QString& key)
{
    // Create level by level so that every new folder gets mode 0700.
    QString folder = QFileInfo(root_).isDir() ? root_ : QString();
    if (folder.isEmpty()) {
        if (!QDir().mkpath(root_))
            return false;
        QFile::setPermissions(root_, kOwnerOnly);
        folder = root_;
    }
    const QStringList levels = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& level : levels) {
        folder += QLatin1Char('/') + level;
        if (QFileInfo(folder).isDir())
            continue;
        if (!QDir().mkdir(folder, kOwnerOnly))
            return false;
    }
    return true;
}

bool FileRegistryStore::SetValue(const QString& key, const QString& name, const QString& text)
{
    if (!KeyExists(key) || name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    return WriteFileAtomically(KeyFolder(key) + QLatin1Char('/') + name, text.toUtf8());
}

std::optional<QString> FileRegistryStore::QueryValue(const QString& key, const QString& name) const
{
    if (!KeyExists(key) || name.isEmpty())
        return std::nullopt;
    QFile file(KeyFolder(key) + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Values are short texts; a huge file is not a value this program wrote.
    constexpr qint64 kLimit = 1 << 20;
    if (file.size() > kLimit)
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

bool FileRegistryStore::ValueExists(const QString& key, const QString& name) const
{
    return !name.isEmpty() && QFileInfo::exists(KeyFolder(key) + QLatin1Char('/') + name);
}

QStringList FileRegistryStore::ValueNames(const QString& key) const
{
    // Names starting with a dot are the temporary files of a replacement.
    QStringList names;
    const QStringList files = QDir(KeyFolder(key)).entryList(QDir::Files | QDir::Hidden);
    for (const QString& file : files)
        if (!file.startsWith(QLatin1Char('.')))
            names.append(file);
    return names;
}

bool FileRegistryStore::DeleteValue(const QString& key, const QString& name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    const QString path = KeyFolder(key) + QLatin1Char('/') + name;
    return QFile::remove(path) || !QFileInfo::exists(path);
}
