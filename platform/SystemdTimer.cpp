#include "platform/SystemdTimer.h"

#include <QHash>

TimerState ParseTimerShow(const QString& output)
{
    QHash<QString, QString> properties;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            properties.insert(line.left(equals), line.mid(equals + 1).trimmed());
    }
    TimerState state;
    const QString load = properties.value(QStringLiteral("LoadState"));
    if (load.isEmpty()) {
        state.problem = QStringLiteral("systemctl gave no state of the unit");
        return state;
    }
    state.enabled = properties.value(QStringLiteral("UnitFileState"));
    if (load == QLatin1String("not-found")) {
        state.kind = TimerState::Kind::NotInstalled;
        return state;
    }
    if (properties.value(QStringLiteral("ActiveState")) != QLatin1String("active")) {
        state.kind = TimerState::Kind::Inactive;
        return state;
    }
    state.kind = TimerState::Kind::Scheduled;
    // "@1716004800" in seconds since the epoch; empty or "n/a" when none is due.
    const QString next = properties.value(QStringLiteral("NextElapseUSecRealtime"));
    bool number = false;
    const qint64 seconds = next.startsWith(QLatin1Char('@')) ? next.mid(1).toLongLong(&number) : 0;
    if (number && seconds > 0)
        state.next = QDateTime::fromSecsSinceEpoch(seconds);
    return state;
}
