#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// Qt 6.4's SQL module registers its clean-up routine when its driver table
// is first used, after a check of a flag that nothing locks
// (interleave.py). Two devices of a parallel run that made their first
// connection objects at the same moment could both pass it; the routine was
// then registered twice, and at the application object's end it registered
// itself again after every call, so the program never ended. gdb holds the
// first thread at that check and lets the second run there too: Database
// makes connection objects one at a time, so the second never gets there,
// and the program ends having registered the routine once.
class TestDatabaseThreads : public QObject {
    Q_OBJECT
private slots:
    void qtCleanUpIsRegisteredOnce();
};

void TestDatabaseThreads::qtCleanUpIsRegisteredOnce()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gdb")).isEmpty())
        QSKIP("gdb is not installed (scripts/setup installs it)");
    QProcess gdb;
    gdb.setProcessChannelMode(QProcess::MergedChannels);
    gdb.start(QStringLiteral("gdb"),
              {QStringLiteral("-batch"), QStringLiteral("-nx"), QStringLiteral("-x"),
               QStringLiteral(ZELVOR_INTERLEAVE_SCRIPT),
               QStringLiteral(ZELVOR_DATABASE_THREADS_PATH)});
    const bool finished = gdb.waitForFinished(120000);
    if (!finished)
        gdb.kill();
    const QString said = QString::fromUtf8(gdb.readAll());
    QVERIFY2(finished, qPrintable(said));
    if (said.contains(QStringLiteral("\nSKIP ")))
        QSKIP(qPrintable(said.mid(said.indexOf(QStringLiteral("\nSKIP ")) + 1)));
    QVERIFY2(said.contains(QStringLiteral("could not reach the flag while the first held it")),
             qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("\nENDED 1\n")), qPrintable(said));
}

QTEST_GUILESS_MAIN(TestDatabaseThreads)
#include "tst_database_threads.moc"
