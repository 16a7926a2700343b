#include "platform/SystemdTimer.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>

namespace {

// Releases a COM interface when it goes out of scope.
template <typename Interface> struct Held {
    Interface* pointer = nullptr;
    ~Held()
    {
        if (pointer)
            pointer->Release();
    }
    Interface* operator->() const { return pointer; }
};

// A string the Task Scheduler's interfaces take.
struct Text {
    explicit Text(const QString& text)
        : bstr(SysAllocString(reinterpret_cast<const OLECHAR*>(text.utf16())))
    {
    }
    ~Text() { SysFreeString(bstr); }
    BSTR bstr;
};

TimerState NoAnswer(const char* step, HRESULT result)
{
    TimerState state;
    state.problem = QStringLiteral("the Task Scheduler did not answer: %1 (0x%2)")
                        .arg(QLatin1String(step))
                        .arg(quint32(result), 8, 16, QLatin1Char('0'));
    return state;
}

QDateTime FromTaskTime(DATE when)
{
    SYSTEMTIME time{};
    if (when == 0 || !VariantTimeToSystemTime(when, &time))
        return {};
    // The Task Scheduler gives times in the machine's local time.
    return QDateTime(QDate(time.wYear, time.wMonth, time.wDay),
                     QTime(time.wHour, time.wMinute, time.wSecond));
}

TimerState AskScheduler(const QString& task)
{
    TimerState state;
    Held<ITaskService> service;
    HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ITaskService, reinterpret_cast<void**>(&service.pointer));
    if (FAILED(result))
        return NoAnswer("CoCreateInstance", result);
    VARIANT none;
    VariantInit(&none);
    if (FAILED(result = service->Connect(none, none, none, none)))
        return NoAnswer("Connect", result);
    Held<ITaskFolder> root;
    if (FAILED(result = service->GetFolder(Text(QStringLiteral("\\")).bstr, &root.pointer)))
        return NoAnswer("GetFolder", result);
    Held<IRegisteredTask> registered;
    result = root->GetTask(Text(task).bstr, &registered.pointer);
    if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
        state.kind = TimerState::Kind::NotInstalled;
        return state;
    }
    if (FAILED(result))
        return NoAnswer("GetTask", result);
    VARIANT_BOOL enabled = VARIANT_TRUE;
    if (SUCCEEDED(registered->get_Enabled(&enabled)) && enabled == VARIANT_FALSE) {
        state.kind = TimerState::Kind::Inactive;
        state.enabled = QStringLiteral("disabled");
        return state;
    }
    state.kind = TimerState::Kind::Scheduled;
    state.enabled = QStringLiteral("enabled");
    DATE next = 0;
    if (SUCCEEDED(registered->get_NextRunTime(&next)))
        state.next = FromTaskTime(next);
    return state;
}

} // namespace

// On Windows the installer's scheduled task (the unit's name is the task's)
// starts the run: the Task Scheduler says whether it is registered and
// enabled, and when it next runs. Reads only; the answer comes from the
// Scheduler's service without a wait of its own.
TimerState QueryTimer(const QString& task, int)
{
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE)
        return NoAnswer("CoInitializeEx", init);
    const TimerState state = AskScheduler(task);
    if (SUCCEEDED(init))
        CoUninitialize();
    return state;
}
