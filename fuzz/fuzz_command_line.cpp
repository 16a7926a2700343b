// The program's arguments into positions, flags and run parameters. Input:
// the arguments separated by NUL bytes.
#include "app/CommandLine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList arguments;
    for (const QByteArray& argument :
         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0'))
        arguments.append(QString::fromUtf8(argument));
    const CCommandParse parse = CCommandParse::Parse(arguments);
    MapParams(parse.Params);
    return 0;
}
