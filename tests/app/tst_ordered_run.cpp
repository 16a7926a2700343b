// Devices run side by side but report, and post, in the order of the list.
#include "app/AllDevicesRun.h"
#include "app/OrderedRun.h"

#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

class TestOrderedRun : public QObject {
    Q_OBJECT
private slots:
    void reportsAndPostsInListOrder_data();
    void reportsAndPostsInListOrder();
};

void TestOrderedRun::reportsAndPostsInListOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("jobs");
    QTest::newRow("one job") << 7 << 1;
    QTest::newRow("fewer devices than jobs") << 3 << 8;
    QTest::newRow("many devices") << 40 << 6;
}

void TestOrderedRun::reportsAndPostsInListOrder()
{
    QFETCH(int, count);
    QFETCH(int, jobs);
    std::mutex lock;
    QList<int> worked, posted, reported;
    std::atomic<int> running{0};
    int mostRunning = 0;
    PostingOrder order(count);
    auto work = [&](int index) {
        const int now = ++running;
        {
            const std::lock_guard guard(lock);
            mostRunning = std::max(mostRunning, now);
            worked.append(index);
        }
        // Downloads of uneven length; late ones must still post in turn.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(QRandomGenerator::global()->bounded(5)));
        order.AwaitTurn(index);
        {
            const std::lock_guard guard(lock);
            posted.append(index);
        }
        order.Done(index);
        --running;
    };
    auto done = [&](int index) {
        const std::lock_guard guard(lock);
        QVERIFY(worked.contains(index));
        reported.append(index);
    };
    RunInOrder(count, jobs, work, done);

    QList<int> all;
    for (int i = 0; i < count; ++i)
        all.append(i);
    QCOMPARE(reported, all);
    QCOMPARE(posted, all);
    std::sort(worked.begin(), worked.end());
    QCOMPARE(worked, all);
    QVERIFY(mostRunning <= std::max(1, jobs));
}

QTEST_GUILESS_MAIN(TestOrderedRun)
#include "tst_ordered_run.moc"
