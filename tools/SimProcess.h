#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the terminal simulator as a child process for tests, benchmarks and
// demos: starts it on a free loopback port, reads where it listens from its
// first line, and kills it when destroyed.
class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The simulator program: $ZELVOR_TERMINAL_SIM when set, else the one built beside.
    static QString Program();

    // Starts the simulator with these options (--port 0 is added unless given).
    bool Start(const QStringList& options, int timeoutMs = 10000);
    void Stop();

    QString Address() const { return address_; }
    int Port() const { return port_; }
    qint64 Pid() const { return process_.processId(); }
    QString Error() const { return error_; }
    // Peak resident memory of the simulator in KiB (VmHWM), -1 when unknown.
    qint64 PeakMemoryKiB() const;

    // The simulated terminal's active state as the simulator last reported it
    // (its "active 0" / "active 1" lines); true before any report.
    bool Active();
    // Waits until the simulator reports the terminal active (or not); true when
    // it does within timeoutMs.
    bool WaitForActive(bool active, int timeoutMs);
    // Every change reported so far, in order: "0" for each disable, "1" for
    // each enable, so "01" is one download that disabled and re-enabled it.
    QString ActiveChanges();

private:
    void ReadReports();

    QProcess process_;
    QString activeChanges_;
    QString address_;
    int port_ = 0;
    QString error_;
};

// VmHWM of a process (0: this one) in KiB, -1 when unknown.
qint64 PeakMemoryKiB(qint64 pid = 0);
