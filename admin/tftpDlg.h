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
// while it is open, or the controller may stop answering. The image always
// goes where the handshake goes, to the address the main window's commands
// go to when Upload is pressed. The operator is asked first (default "No")
// when that is another controller than the dialog was opened for, or when
// no controller answers there.
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
    // Where the main window's commands go right now, and so where its update
    // handshake goes; `answering` when a controller there is connected.
    struct Target
    {
        QString address;
        bool answering = false;
        bool operator==(const Target& other) const { return address == other.address && answering == other.answering; }
    };
    void setTargetLookup(std::function<Target()> lookup) { m_targetLookup = std::move(lookup); }

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
    QString targetQuestion(const Target& target) const;
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
    std::function<Target()> m_targetLookup;
};
