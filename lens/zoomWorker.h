#pragma once

#include "link/CommandChannel.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class QUdpSocket;

// The motion worker. Held motion buttons only raise flags here; the worker's
// loop turns every raised flag into a relative move command on a 40 ms
// cadence, and runs one step of the lens limit search per cycle. It also keeps
// the last reported zoom, focus and iris positions, written by the main
// window's reply handling.
//
// Threads: run() (and sendCommand, limitSearchStep) run on the worker's
// thread; the object lives on the GUI thread, which calls every other
// function and runs readUDPDatagramsZ(). The shared fields are atomics read
// and written whole without ordering beyond each value; the destination is
// read under a small lock because retarget() changes it while the loop runs.
// Its sleeps wait on a condition, so a raised flag, a resume or a stop
// request cuts them short where that matters.
class zoomWorker : public QThread
{
    Q_OBJECT

public:
    static constexpr int CycleMs = 40;
    static constexpr int PauseAfterCommandMs = 200;
    static constexpr int SearchSettleMs = 550;
    // While paused the loop sends nothing; it looks again at least this often
    // and at once when woken.
    static constexpr int PausedPollMs = 50;

    zoomWorker(const QString& deviceAddress, QUdpSocket* commandSocket, QObject* parent = nullptr);
    ~zoomWorker() override;

    // After the controller's address changed: new destination, flags down,
    // steps 2/2/1, positions and limit search cleared; the thread keeps running.
    void retarget(const QString& deviceAddress, QUdpSocket* commandSocket);

    // Stops the loop for good: paused, exit requested, then waits for run()
    // to return. Never cuts a datagram.
    void stopAndWait();

    // Wakes the loop at once (a flag was raised), so that the first command
    // of a press leaves without waiting out the cycle's sleep.
    void wake();

    QString deviceAddressText() const;

    // Fields, in the controller's order of concern.
    std::atomic<bool> paused{false};
    std::atomic<bool> zoomSlowWide{false}, zoomSlowNarrow{false}, zoomFastWide{false}, zoomFastNarrow{false};
    std::atomic<int> zoomStep{10};
    std::atomic<bool> focusSlowNear{false}, focusSlowFar{false}, focusFastNear{false}, focusFastFar{false};
    std::atomic<int> focusStep{5};
    std::atomic<bool> irisSlowClose{false}, irisSlowOpen{false}, irisFastClose{false}, irisFastOpen{false};
    std::atomic<int> irisStep{1};
    std::atomic<bool> searchZoomNarrow{false}, searchZoomWide{false}, searchFocusNear{false}, searchFocusFar{false},
        searchIrisOpen{false}, searchIrisClose{false};
    std::atomic<int> zoomPos{0};
    std::atomic<int> focusPos{0};
    std::atomic<float> irisPos{0.0f};
    std::atomic<int> zoomWideLimit{0}, zoomNarrowLimit{0}, focusFarLimit{0}, focusNearLimit{0};
    std::atomic<float> irisCloseLimit{0.0f}, irisOpenLimit{0.0f};
    std::atomic<int> lastZoom{0}, lastFocus{0}, lastIris{0};
    std::atomic<int> stallCount{0};
    std::atomic<bool> exitRequested{false};

public slots:
    // Reads position reports from the command socket. Connected to it by the
    // constructor and retarget(); the main window disconnects it at once, so
    // in the panel only the reply dispatcher reads the socket.
    void readUDPDatagramsZ();

signals:
    void zoomValue(int);
    void focusValue(int);
    void irisValue(float);
    void changeZoomStep(int);
    void changeFocusStep(int);
    void changeIrisStep(int);

protected:
    void run() override;

private:
    // One end of an axis for the limit search: the search flag, the fast held
    // flag it keeps raised, the command word and where its result goes.
    template <typename Position>
    struct SearchEnd
    {
        std::atomic<bool>& searching;
        std::atomic<bool>& held;
        const char* word;
        std::atomic<Position>& limit;
    };
    // One axis of the limit search: its two ends in order, its step, its
    // reported position, its reference position and its step signal.
    template <typename Position>
    struct SearchAxis
    {
        SearchEnd<Position> first;
        SearchEnd<Position> second;
        std::atomic<int>& step;
        std::atomic<Position>& position;
        std::atomic<int>& reference;
        void (zoomWorker::*changeStep)(int);
    };

    void sendCommand(const char* word, int value);
    void sendHeldMoves();
    void limitSearchStep();
    template <typename Position>
    void searchAxis(const SearchAxis<Position>& axis);
    template <typename Position>
    bool searchStep(const SearchAxis<Position>& axis, const SearchEnd<Position>& end);

    // The pause after a command: only a stop request cuts it short. It
    // lengthens the cycle by its own length.
    void sleepMs(int milliseconds);
    // The rest of the cycle: a wake() or a stop request cuts it short.
    void sleepUntilNextCycle();

    // Standard locks rather than Qt's, so that the thread-sanitizer build
    // sees them.
    mutable std::mutex m_targetLock;
    QString m_deviceAddress;
    QUdpSocket* m_commandSocket = nullptr;
    CommandChannel m_channel;
    std::mutex m_waitLock;
    std::condition_variable m_wakeUp;
    bool m_wakePending = false; // guarded by m_waitLock
    // When the current cycle ends: 40 ms after it began plus its pauses, so
    // that late wake-ups do not add up (worker thread only).
    using Clock = std::chrono::steady_clock;
    Clock::time_point m_cycleEnd;
};
