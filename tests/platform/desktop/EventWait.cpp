#include "EventWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace quorel::test {

bool waitUntil(const std::function<bool()>& done, int timeoutMS)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMS) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void processEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

}  // namespace quorel::test
