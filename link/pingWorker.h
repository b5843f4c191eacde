#pragma once

#include "link/CommandChannel.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QUdpSocket;

// The liveness monitor. While a controller is connected it sends "ping" to it
// from its own thread at a fixed pace and counts the pings sent since the
// last proof of life. It never reads a reply: the main window's reply handling
// calls resume(), which zeroes the count. Past one missed ping it emits
// cantsendping2(), past three also cantsendping().
//
// Threads: run() is the monitor's thread; every other function is called from
// the GUI thread. The shared values are atomics; the wait lets a stop request
// or a resume() cut a sleep short.
class pingWorker : public QThread
{
    Q_OBJECT

public:
    static constexpr int NormalPeriodMs = 600;
    static constexpr int SlowPeriodMs = 2000;
    // More unanswered pings than this in a row: the controller is lost.
    static constexpr int LostAfterMissedPings = 3;

    pingWorker(const QString& address, QUdpSocket* commandSocket, QObject* parent = nullptr);
    ~pingWorker() override;

    void pause();
    // Proof of life: no longer paused, missed-ping count 0.
    void resume();
    // No longer paused; the missed-ping count stands.
    void endPause();
    void setPeriod(int milliseconds);
    void decrementMissed();
    // Ends the run loop at its next check; the caller then waits for the thread.
    void requestStop();

    int missedPings() const { return m_missed.load(std::memory_order_relaxed); }
    bool isPaused() const { return m_paused.load(std::memory_order_relaxed); }
    int period() const { return m_period.load(std::memory_order_relaxed); }
    QString address() const { return m_address; }

signals:
    void cantsendping(QString);
    void cantsendping2(QString);
    // A "ping" left (emitted on the monitor's thread), for a log of the traffic.
    void pingSent();

protected:
    void run() override;

private:
    void wake();

    const QString m_address;
    const CommandChannel m_channel;
    std::atomic<int> m_missed{0};
    std::atomic<bool> m_paused{false};
    std::atomic<int> m_period{NormalPeriodMs};
    std::atomic<bool> m_stopRequested{false};
    std::mutex m_waitLock;
    std::condition_variable m_wakeUp;
};
