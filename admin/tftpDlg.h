#pragma once

#include <QDialog>

// The firmware update dialog: choose a plain or enciphered firmware file and
// upload it to the controller by TFTP.
class tftpDlg : public QDialog
{
    Q_OBJECT

public:
    explicit tftpDlg(QWidget* parent = nullptr);

signals:
    void rebootDeviceNow();
    void ask2Connect();
    void setFirmwareFlag();
    void setNoFirmwareFlag();
    void uploadProgress(int);

public slots:
    void setCurrentIP(QString address);

private:
    QString currentIP;
};
