#include "app/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const CCommandParse parse = CCommandParse::Parse(app.arguments().mid(1));
    MapParams(parse.Params);
    return 0;
}
