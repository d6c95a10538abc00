#include "Wait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return done();
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(std::min<qint64>(left, 10)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
