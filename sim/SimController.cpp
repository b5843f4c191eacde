#include "sim/SimController.h"

#include "link/Protocol.h"
#include "sim/SimCommand.h"
#include "sim/SimLog.h"

#include <QCryptographicHash>
#include <QSaveFile>

namespace {

namespace Cmd = Protocol::Command;

TftpServer::Settings tftpSettings(const SimOptions& options)
{
    TftpServer::Settings settings;
    settings.refuseFirst = options.tftpRefuse;
    settings.dropBlocks = options.tftpDropBlocks;
    settings.maxImageBytes = options.maxImageBytes;
    return settings;
}

// Time the boot loader waits after the last acknowledgement before it
// restarts, so a client whose final acknowledgement was lost can repeat
// its last block.
constexpr int UpdateDallyMs = 1000;

LensSpec attachedLens(const SimOptions& options)
{
    LensSpec lens = LensCatalogue::lens(options.lens);
    lens.focusFar = options.focusFar;
    if (options.focusNear >= 0) {
        lens.focusMax = qAbs(options.focusNear - options.focusFar);
        lens.focusDescending = options.focusNear < options.focusFar;
    }
    return lens;
}

} // namespace

SimController::SimController(const SimOptions& options, SimLog& log, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_log(log)
    , m_faults(options)
    , m_port(log, m_faults, options.gapMs)
    , m_identity(options)
    , m_lens(attachedLens(options), m_identity.isPowerZoomModel(), options.confirmHeldAfterZoom)
    , m_tftp(log, tftpSettings(options))
{
    m_lens.setMoveSummary(options.moveSummary);
    m_lens.setStopConfirmed(options.confirmStop);
    m_lens.setFocusConfirmation(options.confirmFocusMoves);
    connect(&m_port, &CommandPort::received, this, &SimController::onCommand);
    connect(&m_lens, &LensMotion::report, &m_port, &CommandPort::send);
    connect(&m_tftp, &TftpServer::imageReceived, this, &SimController::onImage);
    m_restartTimer.setSingleShot(true);
    connect(&m_restartTimer, &QTimer::timeout, this, &SimController::comeBack);
    m_lensReportTimer.setSingleShot(true);
    connect(&m_lensReportTimer, &QTimer::timeout, this, [this] {
        for (const QByteArray& report : m_lens.lensReports())
            m_port.send(m_lensReportPeer, report);
    });
}

bool SimController::start()
{
    QString error;
    if (!m_port.bind(m_options.address, m_options.port, &error)) {
        m_log.event(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(m_options.address.toString())
                        .arg(m_options.port)
                        .arg(error));
        return false;
    }
    m_log.event(QStringLiteral("ready: %1 answering on %2:%3, lens %4, fault seed %5")
                    .arg(m_identity.product(), m_options.address.toString())
                    .arg(m_options.port)
                    .arg(m_options.lens)
                    .arg(m_faults.seed()));
    if (m_options.waitingForImage) {
        m_waitingForImage = true;
        m_mode = Mode::Update;
        if (m_tftp.listen(m_port.address(), m_options.tftpPort, &error))
            m_log.event(QStringLiteral("waiting in the boot loader for an image: tftp server on %1:%2")
                            .arg(m_port.address().toString())
                            .arg(m_options.tftpPort));
        else
            m_log.event(QStringLiteral("waiting in the boot loader, but the tftp port %1 cannot be opened: %2")
                            .arg(m_options.tftpPort)
                            .arg(error));
        updateMute();
    }
    if (m_options.silentAfterMs >= 0) {
        QTimer::singleShot(m_options.silentAfterMs, this, [this] {
            setSilent(true, QStringLiteral("--silent-after"));
            if (m_options.silentForMs > 0)
                QTimer::singleShot(m_options.silentForMs, this,
                                   [this] { setSilent(false, QStringLiteral("--silent-for")); });
        });
    }
    return true;
}

void SimController::toggleSilence() { setSilent(!m_silent, QStringLiteral("SIGUSR1")); }

void SimController::onCommand(const QByteArray& datagram, const Peer& peer, const QHostAddress& localAddress)
{
    SimCommand command;
    if (!SimCommand::parse(datagram, &command)) {
        m_log.event(QStringLiteral("ignored a datagram of %1 bytes that holds no command").arg(datagram.size()));
        return;
    }
    if (handleLifeCycle(command, peer))
        return;
    QByteArray answer;
    if (m_identity.handle(command, localAddress, &answer)) {
        if (!answer.isEmpty())
            m_port.send(peer, answer);
        if (command.word == SimCommand::wordOf(Cmd::Version))
            scheduleLensReports(peer);
        return;
    }
    if (m_lens.handle(command, peer, m_identity.focusTimeoutMs(), &answer)) {
        if (!answer.isEmpty())
            m_port.send(peer, answer);
        return;
    }
    m_log.event(
        QStringLiteral("ignored the unknown command word \"%1\"").arg(SimLog::escaped(command.word.toLatin1())));
}

bool SimController::handleLifeCycle(const SimCommand& command, const Peer& peer)
{
    if (command.word == SimCommand::wordOf(Cmd::Ping) && !command.hasValue) {
        m_port.send(peer, m_lens.pingAnswer());
        return true;
    }
    if ((command.word == SimCommand::wordOf(Cmd::Reboot) || command.word == SimCommand::wordOf(Cmd::RestartForUpdate))
        && !command.hasValue) {
        restart(command.word);
        return true;
    }
    if (command.word == SimCommand::wordOf(Cmd::SetProtocol)) {
        QByteArray error;
        if (m_identity.setProtocol(command, &error))
            restart(QStringLiteral("lens protocol %1").arg(command.value));
        else
            m_port.send(peer, error);
        return true;
    }
    return false;
}

void SimController::scheduleLensReports(const Peer& peer)
{
    // The panel is busy with the identification for a moment; the lens
    // reports follow once it listens again.
    m_lensReportPeer = peer;
    m_lensReportTimer.start(m_options.reportDelayMs);
}

void SimController::restart(const QString& reason)
{
    m_log.event(QStringLiteral("restart (%1): silent for %2 ms").arg(reason).arg(m_options.restartMs));
    m_restarting = true;
    updateMute();
    m_lens.stopAll();
    m_lensReportTimer.stop();
    m_tftp.close();
    m_restartTimer.start(m_options.restartMs);
}

void SimController::comeBack()
{
    m_identity.applyPendingNetwork();
    if (m_identity.dhcpRequested())
        m_log.event(QStringLiteral("dhcp is on, but without a dhcp server the address stays"));
    if (m_identity.address() != m_port.address()) {
        QString error;
        if (m_port.bind(m_identity.address(), m_options.port, &error)) {
            m_log.event(QStringLiteral("address changed to %1").arg(m_identity.address().toString()));
        } else {
            m_log.event(QStringLiteral("cannot take the address %1 (%2); staying on %3")
                            .arg(m_identity.address().toString(), error, m_port.address().toString()));
            m_identity.revertAddress(m_port.address());
        }
    }
    m_mode = m_identity.updateRequested() ? Mode::Update : Mode::Normal;
    if (m_mode == Mode::Update) {
        QString error;
        if (m_tftp.listen(m_port.address(), m_options.tftpPort, &error))
            m_log.event(QStringLiteral("update mode: tftp server on %1:%2")
                            .arg(m_port.address().toString())
                            .arg(m_options.tftpPort));
        else
            m_log.event(QStringLiteral("update mode, but the tftp port %1 cannot be opened: %2")
                            .arg(m_options.tftpPort)
                            .arg(error));
    } else {
        m_log.event(QStringLiteral("normal mode on %1:%2").arg(m_port.address().toString()).arg(m_options.port));
    }
    m_restarting = false;
    updateMute();
}

void SimController::onImage(const QByteArray& image)
{
    const QByteArray sha = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    m_log.event(QStringLiteral("image received: %1 bytes, sha256 %2").arg(image.size()).arg(QString::fromLatin1(sha)));
    if (!m_options.imageFile.isEmpty()) {
        QSaveFile file(m_options.imageFile);
        if (file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.commit())
            m_log.event(QStringLiteral("image stored in %1").arg(m_options.imageFile));
        else
            m_log.event(
                QStringLiteral("cannot store the image in %1: %2").arg(m_options.imageFile, file.errorString()));
    }
    m_identity.updateDone();
    m_waitingForImage = false;
    QTimer::singleShot(UpdateDallyMs, this, [this] { restart(QStringLiteral("firmware update done")); });
}

void SimController::setSilent(bool on, const QString& reason)
{
    if (m_silent == on)
        return;
    m_silent = on;
    m_log.event(
        QStringLiteral("%1 (%2)").arg(on ? QStringLiteral("falls silent") : QStringLiteral("speaks again"), reason));
    updateMute();
    // Back on the wire, the controller tells the panel it last identified
    // itself to what its lens is and where it stands: a panel that gave the
    // controller up shows nothing of the lens and has no control to ask with.
    if (!on && !m_restarting && m_lensReportPeer.isValid())
        m_lensReportTimer.start(m_options.reportDelayMs);
}

void SimController::updateMute()
{
    m_port.setMuted(m_restarting            ? QStringLiteral("restarting")
                        : m_silent          ? QStringLiteral("silent")
                        : m_waitingForImage ? QStringLiteral("waiting for an image")
                                            : QString());
}
