#pragma once

#include <functional>

// Runs work(index) for index 0 .. count-1 on up to jobs threads, each index
// once, taken in order; then done(index) runs on the calling thread in index
// order, each as soon as that index and every one before it has finished.
// work runs on the worker threads; done never overlaps another done. With
// jobs <= 1 everything runs on the calling thread, one index after the other:
// work(0), done(0), work(1), done(1), ...
void RunInOrder(int count, int jobs, const std::function<void(int index)>& work,
                const std::function<void(int index)>& done);
