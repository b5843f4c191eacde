#include "lens/zoomWorker.h"

#include "link/Protocol.h"
#include "link/ReplyText.h"

#include <QUdpSocket>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The limit search drives each end with seven times the axis step and takes
// two observations without movement as the end of the travel.
constexpr int SearchStepFactor = 7;
constexpr int StallsAtLimit = 2;
constexpr int MovementThreshold = 3;

// The sign and multiple of the step that each held-direction flag sends.
constexpr int Slow = 1;
constexpr int Fast = 2;

template <typename Position>
bool hasMoved(Position position, int reference)
{
    return std::abs(position - Position(reference)) >= Position(MovementThreshold);
}

} // namespace

zoomWorker::zoomWorker(const QString& deviceAddress, QUdpSocket* commandSocket, QObject* parent)
    : QThread(parent)
    , m_deviceAddress(deviceAddress)
    , m_commandSocket(commandSocket)
    , m_channel(commandSocket)
{
    // The worker's own reader of position reports. In the panel it never
    // runs: the main window disconnects it as soon as the worker exists
    // (LensDesk::keepDispatcherSoleReader), and again after retarget(), so
    // that the reply dispatcher stays the socket's only reader; the
    // dispatcher writes zoomPos, focusPos and irisPos itself.
    connect(commandSocket, &QUdpSocket::readyRead, this, &zoomWorker::readUDPDatagramsZ, Qt::UniqueConnection);
}

zoomWorker::~zoomWorker() { stopAndWait(); }

QString zoomWorker::deviceAddressText() const
{
    std::lock_guard<std::mutex> locker(m_targetLock);
    return m_deviceAddress;
}

void zoomWorker::wake()
{
    std::lock_guard<std::mutex> locker(m_waitLock);
    m_wakePending = true;
    m_wakeUp.notify_all();
}

void zoomWorker::stopAndWait()
{
    paused = true;
    exitRequested = true;
    wake();
    wait();
}

void zoomWorker::retarget(const QString& deviceAddress, QUdpSocket* commandSocket)
{
    {
        std::lock_guard<std::mutex> locker(m_targetLock);
        if (m_commandSocket != commandSocket)
            disconnect(m_commandSocket, &QUdpSocket::readyRead, this, &zoomWorker::readUDPDatagramsZ);
        m_deviceAddress = deviceAddress;
        m_commandSocket = commandSocket;
        m_channel = CommandChannel(commandSocket);
    }
    // Disconnected again by the main window, as in the constructor.
    connect(commandSocket, &QUdpSocket::readyRead, this, &zoomWorker::readUDPDatagramsZ, Qt::UniqueConnection);

    for (std::atomic<bool>* flag :
         {&zoomSlowWide, &zoomSlowNarrow, &zoomFastWide, &zoomFastNarrow, &focusSlowNear, &focusSlowFar, &focusFastNear,
          &focusFastFar, &irisSlowClose, &irisSlowOpen, &irisFastClose, &irisFastOpen, &searchZoomNarrow,
          &searchZoomWide, &searchFocusNear, &searchFocusFar, &searchIrisOpen, &searchIrisClose})
        *flag = false;
    // A re-targeted worker moves in small steps until the operator sets the
    // step sliders again.
    zoomStep = 2;
    focusStep = 2;
    irisStep = 1;
    zoomPos = 0;
    focusPos = 0;
    irisPos = 0.0f;
    for (std::atomic<int>* value : {&zoomWideLimit, &zoomNarrowLimit, &focusFarLimit, &focusNearLimit, &lastZoom,
                                    &lastFocus, &lastIris, &stallCount})
        *value = 0;
    irisCloseLimit = 0.0f;
    irisOpenLimit = 0.0f;
    paused = false;
    exitRequested = false;
    wake();
}

void zoomWorker::run()
{
    for (;;) {
        if (exitRequested) {
            exitRequested = false;
            return;
        }
        {
            // A wake() from here on concerns this cycle or the next one.
            std::unique_lock<std::mutex> locker(m_waitLock);
            m_wakePending = false;
            if (paused) {
                // Send nothing; notice a resume or a stop request promptly
                // without spinning.
                m_wakeUp.wait_for(locker, std::chrono::milliseconds(PausedPollMs),
                                  [this] { return m_wakePending || exitRequested || !paused; });
                continue;
            }
        }
        m_cycleEnd = Clock::now() + std::chrono::milliseconds(CycleMs);
        sendHeldMoves();
        limitSearchStep();
        sleepUntilNextCycle();
    }
}

void zoomWorker::sendHeldMoves()
{
    // The order of the rows is the order in which the commands leave; opposite
    // directions of one axis both go out when both are held.
    const struct
    {
        std::atomic<bool>& held;
        const char* word;
        int multiple;
        std::atomic<int>& step;
    } rows[] = {
        {zoomSlowWide, Protocol::Command::MoveZoom, Slow, zoomStep},
        {zoomFastWide, Protocol::Command::MoveZoom, Fast, zoomStep},
        {zoomSlowNarrow, Protocol::Command::MoveZoom, -Slow, zoomStep},
        {zoomFastNarrow, Protocol::Command::MoveZoom, -Fast, zoomStep},
        {focusSlowNear, Protocol::Command::MoveFocus, Slow, focusStep},
        {focusFastNear, Protocol::Command::MoveFocus, Fast, focusStep},
        {focusSlowFar, Protocol::Command::MoveFocus, -Slow, focusStep},
        {focusFastFar, Protocol::Command::MoveFocus, -Fast, focusStep},
        {irisSlowClose, Protocol::Command::MoveAperture, -Slow, irisStep},
        {irisFastClose, Protocol::Command::MoveAperture, -Fast, irisStep},
        {irisSlowOpen, Protocol::Command::MoveAperture, Slow, irisStep},
        {irisFastOpen, Protocol::Command::MoveAperture, Fast, irisStep},
    };
    for (const auto& row : rows) {
        if (exitRequested)
            return;
        if (row.held)
            sendCommand(row.word, row.multiple * row.step);
    }
}

void zoomWorker::sendCommand(const char* word, int value)
{
    const QString text = QString::fromLatin1(Protocol::Command::StepFormat).arg(QLatin1String(word)).arg(value);
    CommandChannel channel;
    QString address;
    {
        std::lock_guard<std::mutex> locker(m_targetLock);
        channel = m_channel;
        address = m_deviceAddress;
    }
    channel.send(address, text);
    // Zoom moves follow each other at the cycle's pace; every other command
    // gives the lens time to act before the loop goes on.
    if (std::strcmp(word, Protocol::Command::MoveZoom) != 0)
        sleepMs(PauseAfterCommandMs);
}

void zoomWorker::sleepMs(int milliseconds)
{
    m_cycleEnd += std::chrono::milliseconds(milliseconds);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> locker(m_waitLock);
    m_wakeUp.wait_until(locker, deadline, [this] { return exitRequested.load(); });
}

void zoomWorker::sleepUntilNextCycle()
{
    std::unique_lock<std::mutex> locker(m_waitLock);
    m_wakeUp.wait_until(locker, m_cycleEnd, [this] { return m_wakePending || exitRequested; });
}

void zoomWorker::readUDPDatagramsZ()
{
    // Only the last datagram waiting counts; the reply dispatcher usually has
    // taken them all before this runs.
    QByteArray datagram;
    while (m_commandSocket->hasPendingDatagrams()) {
        datagram.resize(int(qMax<qint64>(m_commandSocket->pendingDatagramSize(), 0)));
        m_commandSocket->readDatagram(datagram.data(), datagram.size());
    }
    const QString text = ReplyText::decode(datagram);
    if (text.contains(QLatin1String(Protocol::Answer::Zoom))) {
        zoomPos = ReplyText::toInt(ReplyText::valueOfKey(text));
        emit zoomValue(zoomPos);
    }
    if (text.contains(QLatin1String(Protocol::Answer::Focus)))
        focusPos = ReplyText::toInt(ReplyText::valueOfKey(text));
    if (text.contains(QLatin1String(Protocol::Answer::Iris))) {
        irisPos = ReplyText::toFloat(ReplyText::valueOfKey(text));
        emit irisValue(irisPos);
    }
}

void zoomWorker::limitSearchStep()
{
    searchAxis(SearchAxis<int>{{searchZoomNarrow, zoomFastNarrow, Protocol::Command::SearchZoomNarrow, zoomNarrowLimit},
                               {searchZoomWide, zoomFastWide, Protocol::Command::SearchZoomWide, zoomWideLimit},
                               zoomStep,
                               zoomPos,
                               lastZoom,
                               &zoomWorker::changeZoomStep});
    searchAxis(SearchAxis<int>{{searchFocusNear, focusFastNear, Protocol::Command::SearchFocusNear, focusNearLimit},
                               {searchFocusFar, focusFastFar, Protocol::Command::SearchFocusFar, focusFarLimit},
                               focusStep,
                               focusPos,
                               lastFocus,
                               &zoomWorker::changeFocusStep});
    searchAxis(SearchAxis<float>{{searchIrisOpen, irisFastOpen, Protocol::Command::SearchIrisOpen, irisOpenLimit},
                                 {searchIrisClose, irisFastClose, Protocol::Command::SearchIrisClose, irisCloseLimit},
                                 irisStep,
                                 irisPos,
                                 lastIris,
                                 &zoomWorker::changeIrisStep});
}

template <typename Position>
void zoomWorker::searchAxis(const SearchAxis<Position>& axis)
{
    // The second end of an axis takes its step only once the first has ended,
    // possibly in this very cycle.
    if (axis.first.searching && searchStep(axis, axis.first))
        return;
    if (axis.second.searching)
        searchStep(axis, axis.second);
}

template <typename Position>
bool zoomWorker::searchStep(const SearchAxis<Position>& axis, const SearchEnd<Position>& end)
{
    if (exitRequested)
        return false;
    end.held = true;
    // A cancel may have cleared the search since it was looked at: it stays
    // in force, and the held flag it lowered stays down.
    if (!end.searching) {
        end.held = false;
        return false;
    }
    const int step = axis.step;
    sendCommand(end.word, SearchStepFactor * step);
    sleepMs(SearchSettleMs);
    if (exitRequested)
        return false;
    emit(this->*axis.changeStep)(step);

    // One stall counter serves all six searches: any two observations without
    // movement end the search that makes the second one.
    const Position position = axis.position;
    if (hasMoved(position, axis.reference)) {
        axis.reference = int(position);
        return end.searching;
    }
    stallCount = stallCount + 1;
    if (stallCount >= StallsAtLimit) {
        end.searching = false;
        end.held = false;
        axis.reference = 0;
        end.limit = position;
        stallCount = 0;
        return false;
    }
    return end.searching;
}
