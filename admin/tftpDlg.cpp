#include "admin/tftpDlg.h"

#include "admin/FirmwareCipher.h"
#include "admin/FirmwareFile.h"
#include "admin/FirmwareImage.h"
#include "admin/TftpUpload.h"
#include "app/FormBuilder.h"
#include "base/SettingsStore.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>

namespace {
constexpr const char* UploadIcon = ":/ftp/1441907984_kcmmemory.png";
// Shown while bytes flow; deliberately left untranslated.
constexpr const char* UpdatingLabel = "Updating fw, please wait...";
constexpr const char* ProgressTitle = "RE-2 :: FW Update..";
} // namespace

tftpDlg::tftpDlg(QWidget* parent)
    : QDialog(parent)
    , parentWindow(parent)
    , m_giveUpAfterMs(TftpUpload::DefaultGiveUpAfterMs)
{
    setObjectName(QStringLiteral("Form"));
    setFixedSize(378, 73);
    setWindowTitle(tr("ORVO :: Lens Controller :: Firmware Update"));

    groupBox = makeChild<QGroupBox>(this, "groupBox", QRect(10, 10, 271, 51), tr("Select file (*.orvo):"));
    lineEdit = makeChild<QLineEdit>(groupBox, "lineEdit", QRect(20, 20, 211, 20));
    toolButton = makeChild<QToolButton>(groupBox, "toolButton", QRect(235, 20, 25, 19), QStringLiteral("..."));
    pushButton = makeChild<QPushButton>(this, "pushButton", QRect(287, 15, 75, 46), tr("Upload"));
    pushButton->setIcon(QIcon(QLatin1String(UploadIcon)));
    pushButton->setIconSize(QSize(20, 20));
    connect(toolButton, &QToolButton::clicked, this, &tftpDlg::selectFWFile);
    connect(pushButton, &QPushButton::clicked, this, &tftpDlg::loadFW);

    settings = SettingsStore::openMain(this);
    fileName = SettingsStore::LastFirmwareFile.read(*settings);
    if (!fileName.isEmpty())
        lineEdit->setText(fileName);

    progress = new QProgressDialog(parentWindow);
    progress->setObjectName(QStringLiteral("firmwareProgress"));
    // A title bar without buttons; the Stop button ends the retries.
    progress->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->reset();
    progress->hide();

    connect(progress, &QProgressDialog::canceled, this, &tftpDlg::stopUploading);
    connect(this, &tftpDlg::uploadProgress, this, &tftpDlg::progressValueSet);
}

tftpDlg::~tftpDlg() = default;

void tftpDlg::selectFWFile()
{
    fileName = QFileDialog::getOpenFileName(
        this, tr("Select DuvudER firmware"), fileName,
        tr("ORVO DuvudER New Firmware (*.orvoc);;ORVO DuvudER Firmware (*.orvo);;All files (*.*)"));
    if (fileName.isEmpty())
        return;
    lineEdit->setText(fileName);
    pushButton->setEnabled(true);
    SettingsStore::LastFirmwareFile.write(*settings, fileName);
}

void tftpDlg::loadFW()
{
    // Events are handled during an upload; one upload at a time.
    if (transfer)
        return;
    fileName = lineEdit->text();
    SettingsStore::LastFirmwareFile.write(*settings, fileName);

    // Everything that can go wrong with the file is found out before the
    // controller is told to expect an update.
    QByteArray fileBytes;
    if (!readFirmwareFile(fileBytes))
        return;
    const FirmwareImage image = FirmwareImage::fromFileBytes(fileBytes, firmwareKey());
    fileBytes.clear();
    if (!image.isUploadable()) {
        refuseImage(image);
        return;
    }
    if (image.unverified && !confirmUnverifiedImage())
        return;
    if (!agreeOnController())
        return;

    TftpUpload upload;
    upload.setGiveUpAfterMs(m_giveUpAfterMs);
    if (!upload.open()) {
        progress->reset();
        progress->hide();
        QMessageBox::critical(this, tr("Firmware update"),
                              tr("The TFTP client could not be started, so the firmware cannot be uploaded. "
                                 "Nothing was sent to the controller."));
        return;
    }
    transfer = &upload;
    connect(&upload, &TftpUpload::progressed, this, [this](qint64 bytes) { emit uploadProgress(int(bytes)); });

    // No event has been handled since agreeOnController(): the handshake
    // starts with the controller the image is meant for.
    emit setFirmwareFlag();

    imageSize = image.bytes.size();
    prepareProgress(imageSize);
    const TftpUpload::Outcome outcome = upload.upload(currentIP, image.bytes, m_serverPort);

    if (outcome == TftpUpload::Outcome::Uploaded) {
        emit setNoFirmwareFlag();
        progress->reset();
        progress->hide();
        close();
        QMessageBox::information(this, tr("Firmware successfuly uploaded!"), tr("Firmware successfuly uploaded!"));
    } else {
        progress->reset();
        progress->hide();
        const QString advice = outcome == TftpUpload::Outcome::GaveUp
            ? tr("The controller at %1 did not accept the firmware image within %2 seconds (last error: %3). "
                 "Check that it is connected and reachable, restart it, and start the update again.")
                  .arg(currentIP)
                  .arg(m_giveUpAfterMs / 1000)
                  .arg(upload.lastRunError())
            : tr("The upload was stopped before the controller at %1 accepted the firmware image. "
                 "Start the update again; if the controller does not answer, restart it first.")
                  .arg(currentIP);
        QMessageBox::warning(this, tr("Firmware update did not complete"), advice);
    }
    transfer = nullptr;
    finishUpload();
}

bool tftpDlg::readFirmwareFile(QByteArray& fileBytes)
{
    FirmwareFile file = FirmwareFile::read(lineEdit->text());
    switch (file.problem) {
    case FirmwareFile::None:
        fileBytes = std::move(file.bytes);
        return true;
    case FirmwareFile::CannotOpen:
        QMessageBox::information(this, tr("File error"),
                                 tr("Could not open file: '%1' Error: %2").arg(fileName, file.reason));
        return false;
    case FirmwareFile::CannotRead:
        QMessageBox::information(this, tr("File error"),
                                 tr("Could not read file: '%1' Error: %2").arg(fileName, file.reason));
        return false;
    case FirmwareFile::NotRegular:
    case FirmwareFile::TooLarge:
        break;
    }
    QMessageBox::warning(this, tr("Firmware file refused"),
                         tr("The firmware file '%1' cannot be uploaded: %2.\n\nNothing was sent to the controller.")
                             .arg(fileName, file.reason));
    return false;
}

bool tftpDlg::confirmUnverifiedImage()
{
    const auto answer = QMessageBox::question(
        this, tr("Firmware cannot be verified"),
        tr("The firmware container '%1' carries neither a CRC nor a digest, so the image cannot be verified. "
           "Had it been enciphered with another key than this panel's, it would decode to random bytes of the "
           "right length, and the controller would be flashed with them.\n\nUpload it anyway?")
            .arg(fileName),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

// Makes currentIP the address the update handshake will go to, asking the
// operator first when no controller answers there or when it is another
// controller than the dialog was opened for. Asked again should the target
// change while a question is open.
bool tftpDlg::agreeOnController()
{
    if (!m_targetLookup)
        return true;
    std::optional<Target> agreed;
    for (Target now = m_targetLookup(); !(now.answering && now.address == currentIP) && !(agreed && *agreed == now);
         now = m_targetLookup()) {
        const auto answer = QMessageBox::question(this, tr("Firmware update"), targetQuestion(now),
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
        agreed = now;
        currentIP = now.address;
    }
    return true;
}

QString tftpDlg::targetQuestion(const Target& target) const
{
    if (target.answering)
        return tr("This dialog was opened for the controller at %1, but the panel is now connected to the "
                  "controller at %2.\n\nUpload the firmware to the controller at %2?")
            .arg(currentIP, target.address);
    // A controller waiting in its boot loader for an image answers no
    // command: the update must stay possible, but not by accident.
    return tr("No controller answers at %1. The last connection attempt found none there, or the controller "
              "has stopped answering.\n\nOnly a controller that is waiting for a firmware image should be "
              "sent one. Send the update commands and the firmware image to %1 anyway?")
        .arg(target.address);
}

void tftpDlg::refuseImage(const FirmwareImage& image)
{
    QMessageBox::warning(this, tr("Firmware file refused"),
                         tr("The firmware file '%1' cannot be uploaded: %2\n\nNothing was sent to the controller.")
                             .arg(fileName, FirmwareImage::problemText(image.problem)));
}

void tftpDlg::prepareProgress(int size)
{
    progress->setLabelText(tr("Restart device..."));
    progress->setWindowModality(Qt::WindowModal);
    progress->setRange(0, size);
    progress->setValue(0);
    progress->setCancelButtonText(tr("Stop"));
    progress->show();
    QApplication::processEvents();
}

void tftpDlg::finishUpload()
{
    emit ask2Connect();
    emit setNoFirmwareFlag();
}

void tftpDlg::progressValueSet(int value)
{
    progress->setWindowTitle(QLatin1String(ProgressTitle));
    progress->setLabelText(value >= 1 ? QLatin1String(UpdatingLabel) : tr("Restart device!"));
    progress->setValue(value);
    QApplication::processEvents();
}

void tftpDlg::setCurrentIP(QString address) { currentIP = address; }

void tftpDlg::stopUploading()
{
    if (transfer)
        transfer->stop();
}
