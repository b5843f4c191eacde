#pragma once

#include <QDialog>

#include <optional>

class QGroupBox;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QSettings;
class QToolButton;
class TftpUpload;
struct FirmwareImage;

// The firmware update dialog: choose a plain or enciphered firmware file and
// upload it to the controller by TFTP.
//
// The file is read and turned into its image before the controller hears of
// an update; only then does the main window switch it to update mode
// (setFirmwareFlag), the image is uploaded with retries under a progress
// window, and the main window switches it back (setNoFirmwareFlag). The
// dialog lives as long as the main window; an upload runs inside the click
// on "Upload" and keeps the GUI alive by handling events.
class tftpDlg : public QDialog
{
    Q_OBJECT

public:
    explicit tftpDlg(QWidget* parent = nullptr);
    ~tftpDlg() override;

    // For servers off the standard TFTP port (the tests' own servers).
    void setServerPort(std::optional<quint16> port) { serverPort = port; }
    // How long the upload is retried without a successful run.
    void setGiveUpAfterMs(int milliseconds) { giveUpAfterMs = milliseconds; }

    QGroupBox* groupBox = nullptr;
    QLineEdit* lineEdit = nullptr;
    QToolButton* toolButton = nullptr;
    QPushButton* pushButton = nullptr;
    // The upload progress window, a child of the main window.
    QProgressDialog* progress = nullptr;

signals:
    void rebootDeviceNow();
    void ask2Connect();
    void setFirmwareFlag();
    void setNoFirmwareFlag();
    void uploadProgress(int);

public slots:
    void loadFW();
    void selectFWFile();
    void setCurrentIP(QString address);
    void progressValueSet(int value);
    void stopUploading();

private:
    bool readFirmwareFile(QByteArray& fileBytes);
    void refuseImage(const FirmwareImage& image);
    void prepareProgress(int imageSize);
    void finishUpload();

    QString currentIP;
    QWidget* parentWindow = nullptr;
    QString fileName;
    QSettings* settings = nullptr;
    // Exists only while loadFW() uploads.
    TftpUpload* transfer = nullptr;
    int imageSize = 0;
    std::optional<quint16> serverPort;
    int giveUpAfterMs;
};
