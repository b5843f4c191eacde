#pragma once

#include <QObject>
#include <QVector>

class QSocketNotifier;

// Process signals as Qt signals, for the programs without a window
// (lensdesk-cli, lensdesk-sim, lensdesk-alpaca). The handler does the one
// thing a signal handler may: it writes the signal's number into a pipe. A
// notifier on the pipe's other end emits on the thread that owns this
// object, where the program can stop an upload, the lens or its server
// before it ends.
//
// Stop signals (SIGINT, SIGTERM...) ask the program to end: the first of
// them is reported once, by stopRequested(). Each handler gives way to the
// default after its first call, so a second signal of the same kind ends a
// program that does not stop in time, the usual way; and they do not
// restart interrupted calls, so a read waiting on the terminal returns at
// once. Other signals (SIGUSR1...) are reported every time, by received(),
// and interrupted calls are restarted.
//
// One per process: the handlers and the pipe are process-wide. Destroyed,
// it gives every signal it watched its default action again.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(const QVector<int>& stopSignals, const QVector<int>& otherSignals = {},
                           QObject* parent = nullptr);
    ~SignalWatcher() override;

    // The stop signal that came first, 0 while none has.
    int stopSignal() const { return m_stopSignal; }

signals:
    void stopRequested(int signalNumber);
    void received(int signalNumber);

private:
    void readPipe();

    const QVector<int> m_stopSignals;
    const QVector<int> m_otherSignals;
    QSocketNotifier* m_notifier = nullptr;
    int m_stopSignal = 0;
};
