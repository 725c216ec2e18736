#include "core/EventPump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

void QtEventPump::pump()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::pause(int ms)
{
    if (ms <= 0) {
        pump();
        return;
    }
    // A local loop that a timer ends: the wait costs no CPU and events keep flowing.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
