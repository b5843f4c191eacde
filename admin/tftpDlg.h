#pragma once

#include <QDialog>

#include <functional>
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
// an update (an image that cannot be verified is uploaded only if the
// operator says so); only then does the main window switch it to update mode
// (setFirmwareFlag), the image is uploaded with retries under a progress
// window, and the main window switches it back (setNoFirmwareFlag). The
// dialog lives as long as the main window; an upload runs inside the click
// on "Upload" and keeps the GUI alive by handling events.
//
// The dialog is not modal: the operator may connect to another controller
// while it is open. The image always goes to the controller the handshake
// goes to, the one connected when Upload is pressed; if that is not the one
// the dialog was opened for, the operator is asked first.
class tftpDlg : public QDialog
{
    Q_OBJECT

public:
    explicit tftpDlg(QWidget* parent = nullptr);
    ~tftpDlg() override;

    // For servers off the standard TFTP port (the tests' own servers).
    void setServerPort(std::optional<quint16> port) { m_serverPort = port; }
    // How long the upload is retried without a successful run.
    void setGiveUpAfterMs(int milliseconds) { m_giveUpAfterMs = milliseconds; }
    // The controller the main window's commands go to right now, and so the
    // one its update handshake switches into update mode.
    void setConnectedController(std::function<QString()> lookup) { m_connectedController = std::move(lookup); }

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
    bool confirmUnverifiedImage();
    bool agreeOnController();
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
    std::optional<quint16> m_serverPort;
    int m_giveUpAfterMs;
    std::function<QString()> m_connectedController;
};
