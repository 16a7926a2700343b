#include "terminal/ExportFile.h"

#include "platform/ControlChars.h"
#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool Unsafe(QChar c)
{
    return IsControlOrSeparator(c) || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
           c == QLatin1Char(']');
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

} // namespace

QString ExportFileName(const QString& name)
{
    QString safe = name;
    for (qsizetype i = 0; i < safe.size(); ++i) {
        if (Unsafe(safe[i])) {
            safe[i] = QLatin1Char('_');
        } else if (safe[i] == QLatin1Char('.') &&
                   ((i + 1 < safe.size() && safe[i + 1] == QLatin1Char('.')) ||
                    (i > 0 && name[i - 1] == QLatin1Char('.')))) {
            safe[i] = QLatin1Char('_');
        }
    }
    return safe;
}

namespace {

bool NamesFile(const QString& filePath)
{
    return filePath.right(4).compare(QLatin1String(".txt"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString ExportFolder(const QString& filePath, const QString& exeFolder)
{
    if (NamesFile(filePath))
        return QFileInfo(filePath).path();
    return filePath.isEmpty() ? exeFolder + QStringLiteral("/log") : filePath;
}

QString MakeExportPath(const QString& name, const QString& filePath, const Clock& clock,
                       const QString& exeFolder)
{
    if (NamesFile(filePath))
        return filePath;
    const QString folder = ExportFolder(filePath, exeFolder);
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder, kOwnerOnly | QFile::ExeOwner);
    const QString date = clock.now().date().toString(QStringLiteral("yyyyMMdd"));
    return folder + QLatin1Char('/') + ExportFileName(name) + QLatin1Char('_') + date +
           QStringLiteral(".txt");
}

void PrepareExportFile(const QString& path)
{
    if (QFileInfo::exists(path))
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly))
        file.close();
}

void DeleteExportFile(const QString& path, MessageSink& messages)
{
    if (path.isEmpty()) {
        messages.Show(faulttext::kEmptyPath);
        return;
    }
    QFile::remove(path);
}
