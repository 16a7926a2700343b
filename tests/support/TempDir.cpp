#include "TempDir.h"

#include <QFile>

#include <sys/stat.h>

namespace testsupport {

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

int FileMode(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

FILE* StreamWith(const QByteArray& bytes)
{
    FILE* stream = std::tmpfile();
    if (stream && !bytes.isEmpty() &&
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) != size_t(bytes.size())) {
        std::fclose(stream);
        return nullptr;
    }
    if (stream)
        std::rewind(stream);
    return stream;
}

QByteArray WrittenTo(FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    QByteArray bytes;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, stream)) > 0;)
        bytes.append(chunk, qsizetype(n));
    return bytes;
}

} // namespace testsupport
