#include "app/LensDesk.h"

#include "admin/masterDlg.h"
#include "base/EventWait.h"
#include "base/ProcessExit.h"
#include "lens/FNumbers.h"
#include "lens/zoomWorker.h"
#include "link/ConnectionExchange.h"
#include "link/VersionRules.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>

namespace {
// The window lets the identification's effects show before it goes on.
constexpr int IdentificationSettleMs = 50;
} // namespace

void LensDesk::isORVOProduct(QString address)
{
    controllerAddress = address;
    // Until this attempt identifies a controller there is none to command,
    // whatever the liveness monitor of an earlier connection still counts
    // (it rests, its count frozen, while the operator chooses an address).
    m_attemptUnanswered = true;
    connectingDialog->setLabelText(tr("Connecting to %1").arg(address));
    connectingDialog->setWindowModality(Qt::WindowModal);
    connectingDialog->show();
    productConfirmed = false;

    // Every attempt gets a service dialog of its own. The previous one stops
    // reading the command socket at once and goes when it is idle.
    if (m_serviceDialog)
        m_serviceDialog->retire();
    m_serviceDialog = new masterDlg(address, commandSocket, this);
    keepDispatcherSoleReader();

    // The exchange's probes, spaced by waits during which the replies that
    // arrive are handled.
    const QStringList probes = ConnectionExchange::probes();
    for (int i = 0; i < probes.size(); ++i) {
        if (i > 0)
            delayWithEvents(ConnectionExchange::ProbeSpacingMs);
        // The dispatcher was connected first of all at construction; this
        // only repairs a lost connection and never doubles it.
        connect(commandSocket, &QUdpSocket::readyRead, this, &LensDesk::readUDPDatagrams, Qt::UniqueConnection);
        sendToController(probes.at(i));
    }
    connectTimer->start(ConnectionExchange::IdentifyLimitMs);
}

void LensDesk::handleIdentification(const QString& product, const QString& version)
{
    productConfirmed = true;
    // The answer is in: the time limit must not run out during the waits
    // below, or the attempt would be set up half-identified and then
    // reported as failed.
    connectTimer->stop();
    productName = product;
    firmwareVersion = version;
    const ConnectionExchange::Verdict verdict = ConnectionExchange::judge(version);
    fNumberTable = FNumbers::table();
    if (!verdict.stabiliserSwitch)
        checkBoxIS->setEnabled(false);
    delayWithEvents(IdentificationSettleMs);

    firmwareVersion.remove(QLatin1Char('d'));
    firmwareVersion = VersionRules::withBootLoader(firmwareVersion, bootloaderVersion);
    deviceInfoLabel->setText(tr("Device: %1 v.%2  @%3").arg(productName, firmwareVersion, controllerAddress));
    actionChange_IP->setEnabled(true);

    if (verdict.tooOld) {
        QMessageBox::warning(this, tr("Error"), tr("Please update the firmware!"), QMessageBox::Ok);
        endProcess(0);
    }
    firmwareNumber = VersionRules::firmwareNumber(firmwareVersion);

    // Sets up the connection at once (direct connection to initSettings).
    emit isProductCorrect(true);

    // The exchange's follow-ups; the liveness monitor, just started, counts
    // from their replies on.
    const QStringList followUps = ConnectionExchange::followUps();
    delayWithEvents(ConnectionExchange::FollowUpSpacingMs);
    sendToController(followUps.at(0));
    delayWithEvents(ConnectionExchange::FollowUpSpacingMs);
    resumeLiveness();
    sendToController(followUps.at(1));
    resumeLiveness();
}

void LensDesk::initSettings()
{
    if (!productConfirmed) {
        connectTimer->stop();
        connectingDialog->hide();
        setLensControlsEnabled(false);
        QMessageBox::warning(this, tr("Connecting Error"),
                             tr("Can't find <b>ORVO VaverUzir Controller</b> on <b>%1</b><br>Check for conflicts "
                                "with your firewall or antivirus software.")
                                 .arg(controllerAddress),
                             QMessageBox::Ok);
        return;
    }

    productConfirmed = false;
    connectTimer->stop();
    connectingDialog->hide();

    // Every identification, also of the same controller, gets fresh workers
    // for the current address; the old ones are stopped before they go, so
    // none of their datagrams follows.
    stopWorkers();
    m_attemptUnanswered = false;
    m_livenessMonitor = new pingWorker(controllerAddress, commandSocket, this);
    m_motionWorker = new zoomWorker(controllerAddress, commandSocket, this);
    m_motionWorker->zoomPos = currentZoom;
    m_motionWorker->focusPos = currentFocus;
    m_motionWorker->irisPos = currentIris;

    keepDispatcherSoleReader();
    connect(m_motionWorker, &zoomWorker::zoomValue, this, &LensDesk::zoomUpdateVal);
    connect(m_motionWorker, &zoomWorker::focusValue, this, &LensDesk::focusUpdateVal);
    connect(m_motionWorker, &zoomWorker::irisValue, this, &LensDesk::irisUpdateVal);
    connect(m_motionWorker, &zoomWorker::changeZoomStep, this, &LensDesk::updateZoomStep);
    connect(m_motionWorker, &zoomWorker::changeFocusStep, this, &LensDesk::updateFocusStep);
    connect(m_motionWorker, &zoomWorker::changeIrisStep, this, &LensDesk::updateIrisStep);
    // A loss signal still queued from a monitor that has since been replaced
    // says nothing about this connection. Its sender cannot tell: the new
    // monitor may be allocated at the old one's address. The generation can.
    const quint64 generation = m_livenessGeneration;
    connect(m_livenessMonitor, &pingWorker::cantsendping, this, [this, generation](const QString& text) {
        if (generation == m_livenessGeneration)
            pingError(text);
    });
    connect(m_livenessMonitor, &pingWorker::cantsendping2, this, &LensDesk::pingError2);

    m_motionWorker->start();
    m_livenessMonitor->start();

    // No absolute move is under way on a controller just identified: a
    // set-point recall must not wait for the confirmation of one (on a model
    // without power zoom nothing else would ever confirm it).
    zoomDoneFlag = focusDoneFlag = irisDoneFlag = true;

    setLensControlsEnabled(true);
    updateProtocolMenuEnabled();
    updateProtocolTexts();
}

bool LensDesk::hasLiveController() const
{
    // The liveness monitor watches the controller of the last identification
    // and tells when it has stopped answering. After an attempt that found
    // nothing, at another address or at the same one, commands would go
    // where nobody answered.
    return !m_attemptUnanswered && m_livenessMonitor && m_livenessMonitor->address() == controllerAddress
        && !m_livenessMonitor->isLost();
}

void LensDesk::stopConnecting()
{
    productConfirmed = false;
    connectTimer->stop();
    connectingDialog->hide();
    setLensControlsEnabled(false);
}

void LensDesk::markLensUnavailable()
{
    disableLensControls();
    const QString unavailable = tr("N/A");
    for (QLineEdit* readOut : {zoomVal, focusVal, irisVal})
        readOut->setText(unavailable);
    for (QLabel* caption : {label_20, label_18, label_8, label_7})
        caption->clear();
    pushButtonOpen->setText(QString());
    pushButtonClose->setText(QString());
    lensLabel->setText(tr("Lens: N/A"));
}

void LensDesk::pingError(QString)
{
    markLensUnavailable();
    // Keep knocking, but gently, until the controller answers again; its
    // next answer restores the normal pace.
    if (m_livenessMonitor)
        m_livenessMonitor->setPeriod(pingWorker::SlowPeriodMs);
}

// The early warning carries no action: a single lost ping is common on a
// busy network.
void LensDesk::pingError2(QString) { }

void LensDesk::updateProtocolMenuEnabled()
{
    // The menu is built with the window; before that there is nothing to do.
    if (protocolMenu)
        protocolMenu->setEnabled(ConnectionExchange::judge(firmwareVersion).protocolChoice);
}

void LensDesk::stopWorkers()
{
    if (m_livenessMonitor) {
        m_livenessMonitor->pause();
        m_livenessMonitor->requestStop();
        m_livenessMonitor->wait();
        delete m_livenessMonitor;
        m_livenessMonitor = nullptr;
        // Whatever it still had in flight is stale from now on.
        ++m_livenessGeneration;
    }
    if (m_motionWorker) {
        m_motionWorker->stopAndWait();
        delete m_motionWorker;
        m_motionWorker = nullptr;
    }
}

// The reply dispatcher is the command socket's only reader. The motion worker
// and the service dialog connect readers of their own to the socket; running
// after the dispatcher, they would take a datagram that arrives just after it
// emptied the socket (a "focusDone" lost that way leaves a recall waiting),
// and the dispatcher already hands them everything they would read.
void LensDesk::keepDispatcherSoleReader()
{
    disconnect(commandSocket, &QUdpSocket::readyRead, nullptr, nullptr);
    connect(commandSocket, &QUdpSocket::readyRead, this, &LensDesk::readUDPDatagrams);
}
