#include "platform/WorkThread.h"

#include <QEventLoop>

#include <exception>

WorkThread::WorkThread() : context_(new QObject)
{
    context_->moveToThread(&thread_);
    // The context goes with the thread.
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

WorkThread::~WorkThread()
{
    thread_.quit();
    thread_.wait();
}

void WorkThread::Run(const std::function<void()>& work)
{
    if (QThread::currentThread() == &thread_) {
        work();
        return;
    }
    std::exception_ptr failure;
    QEventLoop waiting;
    QMetaObject::invokeMethod(
        context_,
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    waiting.exec();
    if (failure)
        std::rethrow_exception(failure);
}

void WorkThread::RunBlocking(const std::function<void()>& work)
{
    RunOnThreadOf(context_, work);
}

void RunOnThreadOf(QObject* context, const std::function<void()>& work)
{
    if (QThread::currentThread() == context->thread())
        work();
    else
        QMetaObject::invokeMethod(context, work, Qt::BlockingQueuedConnection);
}
