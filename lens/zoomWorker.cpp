#include "lens/zoomWorker.h"

#include <QUdpSocket>

zoomWorker::zoomWorker(const QString& deviceAddress, QUdpSocket* commandSocket, QObject* parent)
    : QThread(parent)
    , m_deviceAddress(deviceAddress)
    , m_commandSocket(commandSocket)
    , m_channel(commandSocket)
{
    connect(commandSocket, &QUdpSocket::readyRead, this, &zoomWorker::readUDPDatagramsZ);
}

zoomWorker::~zoomWorker()
{
    stopAndWait();
}

QString zoomWorker::deviceAddressText() const
{
    QMutexLocker locker(&m_targetLock);
    return m_deviceAddress;
}

void zoomWorker::wake()
{
    QMutexLocker locker(&m_waitLock);
    m_wakeUp.wakeAll();
}

void zoomWorker::stopAndWait()
{
    paused = true;
    exitRequested = true;
    wake();
    wait();
}

// The loop, the sends, the position reader, retargeting and the limit search
// arrive with the lens controls.
void zoomWorker::retarget(const QString&, QUdpSocket*) {}
void zoomWorker::run() {}
void zoomWorker::readUDPDatagramsZ() {}
void zoomWorker::sendCommand(const char*, int) {}
void zoomWorker::limitSearchStep() {}
void zoomWorker::sleepMs(int) {}
