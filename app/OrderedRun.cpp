#include "app/OrderedRun.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

void RunInOrder(int count, int jobs, const std::function<void(int index)>& work,
                const std::function<void(int index)>& done)
{
    if (count <= 0)
        return;
    if (jobs <= 1) {
        for (int index = 0; index < count; ++index) {
            work(index);
            done(index);
        }
        return;
    }
    std::mutex lock;
    std::condition_variable finishedOne;
    std::vector<bool> finished(std::size_t(count), false);
    int next = 0;
    auto worker = [&] {
        while (true) {
            int index = 0;
            {
                const std::lock_guard guard(lock);
                if (next == count)
                    return;
                index = next++;
            }
            work(index);
            {
                const std::lock_guard guard(lock);
                finished[std::size_t(index)] = true;
            }
            finishedOne.notify_one();
        }
    };
    std::vector<std::thread> threads;
    const int threadCount = std::min(jobs, count);
    threads.reserve(std::size_t(threadCount));
    for (int i = 0; i < threadCount; ++i)
        threads.emplace_back(worker);
    for (int index = 0; index < count; ++index) {
        {
            std::unique_lock guard(lock);
            finishedOne.wait(guard, [&] { return bool(finished[std::size_t(index)]); });
        }
        done(index);
    }
    for (std::thread& thread : threads)
        thread.join();
}
