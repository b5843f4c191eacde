#include "base/EventWait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void delayWithEvents(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A slot run inside the wait may itself wait; the outer wait then simply
    // resumes with what is left of its own time.
    for (qint64 left = milliseconds; left > 0; left = milliseconds - clock.elapsed()) {
        timer.start(int(left));
        loop.exec();
    }
}
