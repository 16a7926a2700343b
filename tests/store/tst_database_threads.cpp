#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// Two devices of a parallel run making their first connection objects at once
// could both pass an unlocked check in Qt 6.4's SQL module and register its
// clean-up twice; the program then never got past its application object's
// end (docs/qt-sql-exit-loop.md). gdb holds the first thread at that check:
// Database makes connection objects one at a time, so the second never gets
// there, and the routine is registered once.
class TestDatabaseThreads : public QObject {
    Q_OBJECT
private slots:
    void qtCleanUpIsRegisteredOnce()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gdb")).isEmpty())
            QSKIP("gdb is not installed (scripts/setup installs it)");
        QProcess gdb;
        gdb.setProcessChannelMode(QProcess::MergedChannels);
        gdb.start(QStringLiteral("gdb"), {QStringLiteral("-batch"), QStringLiteral("-nx"),
                                          QStringLiteral("-x"), QStringLiteral(ZELVOR_INTERLEAVE),
                                          QStringLiteral(ZELVOR_DATABASE_THREADS_PATH)});
        QVERIFY(gdb.waitForFinished(120000));
        const QString said = QString::fromUtf8(gdb.readAll());
        if (said.contains(QStringLiteral("\nSKIP ")))
            QSKIP(qPrintable(said.mid(said.indexOf(QStringLiteral("\nSKIP ")) + 1)));
        QVERIFY2(said.contains(QStringLiteral("could not reach the flag")) &&
                     said.contains(QStringLiteral("\nENDED 1\n")),
                 qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseThreads)
#include "tst_database_threads.moc"
