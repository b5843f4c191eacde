// The firmware update: the file checked, the controller switched into
// update mode, the image uploaded by TFTP, update mode ended.

#include "admin/FirmwareCipher.h"
#include "admin/FirmwareFile.h"
#include "admin/FirmwareImage.h"
#include "admin/TftpUpload.h"
#include "admin/UpdateMode.h"
#include "cli/Cli.h"
#include "cli/ControllerSession.h"
#include "cli/UploadProgress.h"
#include "link/Protocol.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <unistd.h>

namespace {

using Reason = Output::Reason;

} // namespace

int Cli::firmware()
{
    const QString fileName = argument(1);
    const bool confirmed = options().flags.contains(QStringLiteral("--yes"));
    std::optional<quint16> tftpPort;
    if (options().values.contains(QStringLiteral("--tftp-port"))) {
        int port = 0;
        if (!wholeNumber(options().values.value(QStringLiteral("--tftp-port")), 1, 65535, &port))
            return usage(tr("--tftp-port takes a port number from 1 to 65535."));
        tftpPort = quint16(port);
    }

    // Everything that can be wrong with the file is found out before the
    // controller is told to expect an update.
    const FirmwareFile file = FirmwareFile::read(fileName);
    if (!file.isRead())
        return usage(tr("Cannot read the firmware file '%1': %2. Nothing was sent to the controller.")
                         .arg(fileName, file.reason));
    const FirmwareImage image = FirmwareImage::fromFileBytes(file.bytes, firmwareKey());
    if (!image.isUploadable())
        return usage(tr("The firmware file '%1' cannot be uploaded: %2 Nothing was sent to the controller.")
                         .arg(fileName, FirmwareImage::problemText(image.problem)));
    // A container without CRC or digest decodes under a wrong key to random
    // bytes of the right length: only the operator can vouch for it.
    const QString unverified = image.unverified
        ? tr("The container carries neither a CRC nor a digest, so the image cannot be verified; had it been "
             "enciphered with another key, the controller would be flashed with random bytes. ")
        : QString();
    const QString address = argument(0);
    if (confirmed) {
        if (image.unverified)
            output().note(unverified + tr("Uploading it as --yes says."));
    } else if (!isatty(STDIN_FILENO)) {
        return usage(tr("A firmware update must be confirmed; without a terminal, add --yes."));
    } else if (!confirm(unverified
                        + tr("Upload %1 (%2 bytes) to the controller at %3? The controller restarts into update "
                             "mode.")
                              .arg(fileName)
                              .arg(image.bytes.size())
                              .arg(address))) {
        return isStopping() ? Failed : usage(tr("Not confirmed; nothing was sent."));
    }

    TftpUpload upload;
    upload.setGiveUpAfterMs(limit(TftpUpload::DefaultGiveUpAfterMs));
    if (!upload.open())
        return failure(Reason::Unreachable,
                       tr("The TFTP client could not be started; nothing was sent to the controller."));
    connect(this, &Cli::stopping, &upload, &TftpUpload::stop);

    ControllerSession session(address);
    attach(session);
    if (!session.isOpen())
        return failure(Reason::Unreachable,
                       tr("No local UDP port from 60000 to 65000 could be opened; free one and try again."));
    // A controller left in its boot loader by an update that failed answers
    // no command, yet takes an image: the update stays possible, as in the
    // panel, but not by accident.
    const bool identified = session.identify(limit(Protocol::Pacing::IdentifyLimitMs));
    if (isStopping())
        return Failed;
    if (!identified) {
        const QString nobody = tr("Nothing identifies itself at %1: no controller answered. Only a controller "
                                  "waiting in its boot loader for a firmware image should be sent one this way.")
                                   .arg(address);
        if (confirmed) {
            output().note(nobody + tr(" Sending the update commands and the image all the same, as --yes says."));
        } else {
            output().note(nobody);
            if (!confirm(tr("Send the update commands and the firmware image to %1 anyway?").arg(address)))
                return isStopping() ? Failed : usage(tr("Not confirmed; no update command was sent."));
        }
    }

    // The panel's update: into update mode, the image, then no update pending.
    const int size = image.bytes.size();
    UploadProgress progress(size, isatty(STDERR_FILENO) && !output().json());
    connect(&upload, &TftpUpload::progressed, this, [&](qint64 bytes) { progress.show(bytes); });
    for (const UpdateMode::Step& step : UpdateMode::Enter) {
        if (isStopping())
            break;
        session.send(QLatin1String(step.command));
        session.pause(step.settleMs);
    }
    const TftpUpload::Outcome outcome =
        isStopping() ? TftpUpload::Outcome::Stopped : upload.upload(address, image.bytes, tftpPort);
    progress.finish();
    // Whatever happened, the controller is told that no update is pending.
    session.send(QLatin1String(Protocol::Command::FlagNormal));

    switch (outcome) {
    case TftpUpload::Outcome::Uploaded:
        return finish(QJsonObject{{QStringLiteral("controller"), address},
                                  {QStringLiteral("file"), fileName},
                                  {QStringLiteral("bytes"), size},
                                  {QStringLiteral("runs"), upload.runs()},
                                  {QStringLiteral("identified"), identified},
                                  {QStringLiteral("uploaded"), true}},
                      tr("Firmware uploaded: %1 bytes to %2.").arg(size).arg(address));
    case TftpUpload::Outcome::GaveUp:
        return failure(Reason::Timeout,
                       tr("The controller at %1 did not accept the firmware image in time (last "
                          "error: %2); restart it and run the update again.")
                           .arg(address, upload.lastRunError()));
    case TftpUpload::Outcome::Stopped:
    case TftpUpload::Outcome::NoHandle:
        break;
    }
    return failure(
        Reason::Unreachable,
        tr("The upload to %1 did not complete; restart the controller and run the update again.").arg(address));
}
