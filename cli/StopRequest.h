#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP as a request to stop, handled by the event
// loop. The handler does the one thing a signal handler may: it writes the
// signal's number into a pipe. A notifier on the pipe's other end emits
// requested() on the thread that owns this object, where the command can
// stop an upload or the lens before the program ends. A second signal of
// the same kind ends the program at once, the usual way.
//
// One per process: the handlers and the pipe are process-wide.
class StopRequest : public QObject
{
    Q_OBJECT

public:
    explicit StopRequest(QObject* parent = nullptr);
    ~StopRequest() override;

    // The signal that asked to stop, 0 while none has.
    int signalNumber() const { return m_signal; }

signals:
    void requested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    int m_signal = 0;
};
