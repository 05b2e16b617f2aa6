// The program's clock.
#include "clock.h"

#include <QElapsedTimer>

namespace kestova {

QDateTime Now()
{
    struct Start {
        QDateTime at;
        QElapsedTimer since;
    };
    static const Start start = [] {
        Start s{QDateTime::fromString(qEnvironmentVariable("KESTOVA_CLOCK"), Qt::ISODateWithMs), {}};
        s.since.start();
        return s;
    }();
    if (!start.at.isValid())
        return QDateTime::currentDateTime();
    return start.at.addMSecs(start.since.elapsed()).toLocalTime();
}

QDate Today()
{
    return Now().date();
}

} // namespace kestova
