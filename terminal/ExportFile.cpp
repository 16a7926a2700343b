#include "terminal/ExportFile.h"

#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString MakeExportPath(const QString& name, const QString& filePath, const Clock& clock,
                       const QString& exeFolder)
{
    if (filePath.right(4).compare(QLatin1String(".txt"), Qt::CaseInsensitive) == 0)
        return filePath;
    const QString folder = filePath.isEmpty() ? exeFolder + QStringLiteral("/log") : filePath;
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);
    const QString date = clock.now().date().toString(QStringLiteral("yyyyMMdd"));
    return folder + QLatin1Char('/') + name + QLatin1Char('_') + date + QStringLiteral(".txt");
}

void PrepareExportFile(const QString& path)
{
    if (QFileInfo::exists(path))
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
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
