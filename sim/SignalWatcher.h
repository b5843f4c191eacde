#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGUSR1 into Qt signals. The handler only
// writes the signal number into a pipe (the one thing that is safe inside a
// handler); the event loop reads it.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void quitRequested(int signalNumber);
    void silenceToggled();

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};
