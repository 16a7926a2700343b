#include "platform/SecretLine.h"

#include <QByteArray>

SecretLine ReadSecretBytes(FILE* in)
{
    QByteArray line;
    for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in)) {
        // A password is short; stop keeping runaway input.
        if (line.size() < 4096)
            line.append(char(c));
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return {QString::fromUtf8(line), false};
}
