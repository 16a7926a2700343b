#include "TempDir.h"

#include "platform/RunLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Another run holding the lock file for holdMs: through another open file of
// this process (a thread), or from a child process.
class OtherRun {
public:
    OtherRun(bool childProcess, const QString& path, int holdMs)
    {
        if (childProcess)
            StartChild(path, holdMs);
        else
            StartThread(path, holdMs);
    }
    ~OtherRun() { Finish(); }

    bool Holding() const { return holding_; }

    void Finish()
    {
        if (thread_.joinable())
            thread_.join();
        if (child_ > 0) {
            int status = 0;
            ::waitpid(child_, &status, 0);
            child_ = -1;
        }
    }

private:
    void StartThread(const QString& path, int holdMs)
    {
        thread_ = std::thread([this, path, holdMs] {
            RunLock lock(path);
            const bool held = lock.Acquire(0);
            threadState_ = held ? 1 : -1;
            if (held)
                QThread::msleep(holdMs);
        });
        while (threadState_ == 0)
            QThread::msleep(5);
        holding_ = threadState_ == 1;
    }

    void StartChild(const QString& path, int holdMs)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const QByteArray file = QFile::encodeName(path);
        child_ = ::fork();
        if (child_ == 0) {
            // Only plain system calls between fork and _exit.
            const int fd = ::open(file.constData(), O_RDWR | O_CREAT, 0600);
            const char held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
            (void)!::write(ready[1], &held, 1);
            ::usleep(useconds_t(holdMs) * 1000);
            ::_exit(0);
        }
        ::close(ready[1]);
        char held = 0;
        holding_ = child_ > 0 && ::read(ready[0], &held, 1) == 1 && held == 1;
        ::close(ready[0]);
    }

    std::thread thread_;
    std::atomic<int> threadState_{0}; // 1 holding, -1 failed
    pid_t child_ = -1;
    bool holding_ = false;
};

} // namespace

// The lock that keeps two runs of one installation apart.
class TestRunLock : public QObject {
    Q_OBJECT
private slots:
    void secondRunGivesUpAfterTheWait_data();
    void secondRunGivesUpAfterTheWait();
    void secondRunGoesOnWhenTheFirstEnds_data();
    void secondRunGoesOnWhenTheFirstEnds();
    void releasedOnDestruction();
    void fileThatCannotBeMade();
};

void TestRunLock::secondRunGivesUpAfterTheWait_data()
{
    QTest::addColumn<bool>("childProcess");
    QTest::newRow("another open file") << false;
    QTest::newRow("another process") << true;
}

void TestRunLock::secondRunGivesUpAfterTheWait()
{
    QFETCH(bool, childProcess);
    QTemporaryDir dir;
    const QString path = RunLockPath(dir.path());
    OtherRun other(childProcess, path, 1500);
    QVERIFY(other.Holding());

    RunLock lock(path);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!lock.Acquire(500));
    QVERIFY2(timer.elapsed() >= 500 && timer.elapsed() < 2500,
             qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!lock.IsHeld());
    QCOMPARE(lock.Problem(), QStringLiteral("Another run of the program holds the run lock %1; "
                                            "gave up after waiting 0.5 seconds.")
                                 .arg(path));
}

void TestRunLock::secondRunGoesOnWhenTheFirstEnds_data()
{
    QTest::addColumn<bool>("childProcess");
    QTest::newRow("another open file") << false;
    QTest::newRow("another process") << true;
}

void TestRunLock::secondRunGoesOnWhenTheFirstEnds()
{
    QFETCH(bool, childProcess);
    QTemporaryDir dir;
    const QString path = RunLockPath(dir.path());
    OtherRun other(childProcess, path, 400);
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

QTEST_GUILESS_MAIN(TestRunLock)
#include "tst_run_lock.moc"
