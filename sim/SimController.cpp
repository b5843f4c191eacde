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

} // namespace

SimController::SimController(const SimOptions& options, SimLog& log, QObject* parent)
    : QObject(parent)
    , options(options)
    , log(log)
    , faults(options)
    , port(log, faults, options.gapMs)
    , identity(options)
    , lens(LensCatalogue::lens(options.lens), identity.isPowerZoomModel())
    , tftp(log, tftpSettings(options))
{
    connect(&port, &CommandPort::received, this, &SimController::onCommand);
    connect(&lens, &LensMotion::report, &port, &CommandPort::send);
    connect(&tftp, &TftpServer::imageReceived, this, &SimController::onImage);
    restartTimer.setSingleShot(true);
    connect(&restartTimer, &QTimer::timeout, this, &SimController::comeBack);
    lensReportTimer.setSingleShot(true);
    connect(&lensReportTimer, &QTimer::timeout, this, [this] {
        for (const QByteArray& report : lens.lensReports())
            port.send(lensReportPeer, report);
    });
}

bool SimController::start()
{
    QString error;
    if (!port.bind(options.address, options.port, &error)) {
        log.event(QStringLiteral("cannot listen on %1:%2: %3").arg(options.address.toString()).arg(options.port).arg(error));
        return false;
    }
    log.event(QStringLiteral("ready: %1 answering on %2:%3, lens %4, fault seed %5")
                  .arg(identity.product(), options.address.toString())
                  .arg(options.port)
                  .arg(options.lens)
                  .arg(faults.seed()));
    if (options.silentAfterMs >= 0) {
        QTimer::singleShot(options.silentAfterMs, this, [this] {
            setSilent(true, QStringLiteral("--silent-after"));
            if (options.silentForMs > 0)
                QTimer::singleShot(options.silentForMs, this, [this] { setSilent(false, QStringLiteral("--silent-for")); });
        });
    }
    return true;
}

void SimController::toggleSilence()
{
    setSilent(!silent, QStringLiteral("SIGUSR1"));
}

void SimController::onCommand(const QByteArray& datagram, const Peer& peer, const QHostAddress& localAddress)
{
    SimCommand command;
    if (!SimCommand::parse(datagram, &command)) {
        log.event(QStringLiteral("ignored a datagram of %1 bytes that holds no command").arg(datagram.size()));
        return;
    }
    if (handleLifeCycle(command, peer))
        return;
    QByteArray answer;
    if (identity.handle(command, localAddress, &answer)) {
        if (!answer.isEmpty())
            port.send(peer, answer);
        if (command.word == SimCommand::wordOf(Cmd::Version))
            scheduleLensReports(peer);
        return;
    }
    if (lens.handle(command, peer, identity.focusTimeoutMs(), &answer)) {
        if (!answer.isEmpty())
            port.send(peer, answer);
        return;
    }
    log.event(QStringLiteral("ignored the unknown command word \"%1\"").arg(SimLog::escaped(command.word.toLatin1())));
}

bool SimController::handleLifeCycle(const SimCommand& command, const Peer& peer)
{
    if (command.word == SimCommand::wordOf(Cmd::Ping) && !command.hasValue) {
        port.send(peer, lens.pingAnswer());
        return true;
    }
    if ((command.word == SimCommand::wordOf(Cmd::Reboot) || command.word == SimCommand::wordOf(Cmd::RestartForUpdate))
        && !command.hasValue) {
        restart(command.word);
        return true;
    }
    if (command.word == SimCommand::wordOf(Cmd::SetProtocol)) {
        QByteArray error;
        if (identity.setProtocol(command, &error))
            restart(QStringLiteral("lens protocol %1").arg(command.value));
        else
            port.send(peer, error);
        return true;
    }
    return false;
}

void SimController::scheduleLensReports(const Peer& peer)
{
    // The panel is busy with the identification for a moment; the lens
    // reports follow once it listens again.
    lensReportPeer = peer;
    lensReportTimer.start(options.reportDelayMs);
}

void SimController::restart(const QString& reason)
{
    log.event(QStringLiteral("restart (%1): silent for %2 ms").arg(reason).arg(options.restartMs));
    restarting = true;
    updateMute();
    lens.stopAll();
    lensReportTimer.stop();
    tftp.close();
    restartTimer.start(options.restartMs);
}

void SimController::comeBack()
{
    identity.applyPendingNetwork();
    if (identity.dhcpRequested())
        log.event(QStringLiteral("dhcp is on, but without a dhcp server the address stays"));
    if (identity.address() != port.address()) {
        QString error;
        if (port.bind(identity.address(), options.port, &error)) {
            log.event(QStringLiteral("address changed to %1").arg(identity.address().toString()));
        } else {
            log.event(QStringLiteral("cannot take the address %1 (%2); staying on %3")
                          .arg(identity.address().toString(), error, port.address().toString()));
            identity.revertAddress(port.address());
        }
    }
    mode = identity.updateRequested() ? Mode::Update : Mode::Normal;
    if (mode == Mode::Update) {
        QString error;
        if (tftp.listen(port.address(), options.tftpPort, &error))
            log.event(QStringLiteral("update mode: tftp server on %1:%2").arg(port.address().toString()).arg(options.tftpPort));
        else
            log.event(QStringLiteral("update mode, but the tftp port %1 cannot be opened: %2").arg(options.tftpPort).arg(error));
    } else {
        log.event(QStringLiteral("normal mode on %1:%2").arg(port.address().toString()).arg(options.port));
    }
    restarting = false;
    updateMute();
}

void SimController::onImage(const QByteArray& image)
{
    const QByteArray sha = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    log.event(QStringLiteral("image received: %1 bytes, sha256 %2").arg(image.size()).arg(QString::fromLatin1(sha)));
    if (!options.imageFile.isEmpty()) {
        QSaveFile file(options.imageFile);
        if (file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.commit())
            log.event(QStringLiteral("image stored in %1").arg(options.imageFile));
        else
            log.event(QStringLiteral("cannot store the image in %1: %2").arg(options.imageFile, file.errorString()));
    }
    identity.updateDone();
    QTimer::singleShot(UpdateDallyMs, this, [this] { restart(QStringLiteral("firmware update done")); });
}

void SimController::setSilent(bool on, const QString& reason)
{
    if (silent == on)
        return;
    silent = on;
    log.event(QStringLiteral("%1 (%2)").arg(on ? QStringLiteral("falls silent") : QStringLiteral("speaks again"), reason));
    updateMute();
}

void SimController::updateMute()
{
    port.setMuted(restarting ? QStringLiteral("restarting") : silent ? QStringLiteral("silent") : QString());
}
