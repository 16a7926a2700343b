#include "app/HeadlessRun.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return RunHeadless(app.arguments().mid(1));
}
