// Two threads make their first Database objects at the same moment, as the
// devices of a parallel run do; then the application object ends, and with
// it Qt's clean-up routines. tst_database_threads runs this under gdb.
#include "store/Database.h"

#include <QCoreApplication>

#include <barrier>
#include <cstdio>
#include <thread>

int main(int argc, char* argv[])
{
    {
        QCoreApplication app(argc, argv);
        std::barrier start(2);
        auto device = [&start] {
            start.arrive_and_wait();
            const Database db;
        };
        std::thread first(device);
        std::thread second(device);
        first.join();
        second.join();
        std::puts("made");
        std::fflush(stdout);
    }
    std::puts("ended");
    return 0;
}
