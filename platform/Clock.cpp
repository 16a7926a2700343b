#include "platform/Clock.h"

const Clock& systemClock()
{
    static const SystemClock clock;
    return clock;
}

QDateTime FirstOfMonth(const Clock& clock)
{
    const QDate today = clock.now().date();
    return QDateTime(QDate(today.year(), today.month(), 1), QTime(0, 0, 0));
}
