#include "core/EventPump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
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
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    // A loop that cannot wait (the application is quitting) returns at once: sleep the rest
    // instead, so that no caller's wait turns into a spin.
    const qint64 rest = ms - waited.elapsed();
    if (rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
}
