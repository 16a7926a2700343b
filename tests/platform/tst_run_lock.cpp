#include "TempDir.h"

#include "platform/RunLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

// Another run holding the lock file (through an open file of its own) for
// holdMs, on a thread.
class OtherRun {
public:
    OtherRun(const QString& path, int holdMs)
    {
        thread_ = std::thread([this, path, holdMs] {
            RunLock lock(path);
            const bool held = lock.Acquire(0);
            state_ = held ? 1 : -1;
            if (held)
                QThread::msleep(holdMs);
        });
        while (state_ == 0)
            QThread::msleep(5);
    }
    ~OtherRun() { thread_.join(); }

    bool Holding() const { return state_ == 1; }

private:
    std::thread thread_;
    std::atomic<int> state_{0}; // 1 holding, -1 failed
};

} // namespace

// The lock that keeps two runs of one installation apart.
class TestRunLock : public QObject {
    Q_OBJECT
private slots:
    void secondRunGivesUpAfterTheWait();
    void secondRunGoesOnWhenTheFirstEnds();
    void releasedOnDestruction();
    void fileThatCannotBeMade();
    void aHeldLockCannotBeRemoved();
};

void TestRunLock::secondRunGivesUpAfterTheWait()
{
    QTemporaryDir dir;
    const QString path = RunLockPath(dir.path());
    OtherRun other(path, 1500);
    QVERIFY(other.Holding());

    RunLock lock(path);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!lock.Acquire(500));
    QVERIFY2(timer.elapsed() >= 500 && timer.elapsed() < 1400,
             qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!lock.IsHeld());
    QCOMPARE(lock.Problem(), QStringLiteral("Another run of the program holds the run lock %1; "
                                            "gave up after waiting 0.5 seconds.")
                                 .arg(path));
}

void TestRunLock::secondRunGoesOnWhenTheFirstEnds()
{
    QTemporaryDir dir;
    const QString path = RunLockPath(dir.path());
    OtherRun other(path, 400);
    QVERIFY(other.Holding());

    RunLock lock(path);
    QElapsedTimer timer;
    timer.start();
    QVERIFY2(lock.Acquire(10000), qPrintable(lock.Problem()));
    QVERIFY2(timer.elapsed() >= 250, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(lock.Problem().isEmpty());
}

void TestRunLock::releasedOnDestruction()
{
    QTemporaryDir dir;
    const QString path = RunLockPath(dir.path());
    QCOMPARE(path, dir.path() + QStringLiteral("/.zelvor-run.lock"));
    {
        RunLock first(path);
        QVERIFY(first.Acquire(0));
        if (testsupport::kFilesHaveModes)
            QCOMPARE(testsupport::FileMode(path), 0600);
        RunLock second(path);
        QVERIFY(!second.Acquire(0));
        first.Release();
        QVERIFY(second.Acquire(0));
        first.Release(); // releasing twice does nothing
        QVERIFY(!first.Acquire(0));
    }
    RunLock again(path);
    QVERIFY(again.Acquire(0));
}

void TestRunLock::fileThatCannotBeMade()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/.zelvor-run.lock"));
    RunLock lock(path);
    QVERIFY(!lock.Acquire(0));
    QVERIFY2(lock.Problem().startsWith(QStringLiteral("Cannot open the run lock file ") + path),
             qPrintable(lock.Problem()));
}

void TestRunLock::aHeldLockCannotBeRemoved()
{
#ifndef Q_OS_WIN
    QSKIP("on POSIX the lock lies in a folder only the run's account may change");
#else
    // Removed while held, it would let the next run make a new file and lock that.
    QTemporaryDir dir;
    const QString path = RunLockPath(dir.path());
    RunLock lock(path);
    QVERIFY(lock.Acquire(0));
    QVERIFY(!QFile::remove(path));
    lock.Release();
    QVERIFY(QFile::remove(path));
#endif
}

QTEST_GUILESS_MAIN(TestRunLock)
#include "tst_run_lock.moc"
