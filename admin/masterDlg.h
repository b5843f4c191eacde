#pragma once

#include <QDialog>

class QUdpSocket;

// The service dialog: the controller's factory identity (serial number, MAC
// address, hardware version, vendor text) next to its firmware and boot-loader
// versions, read and written back. The main window's reply handling fills it.
class masterDlg : public QDialog
{
    Q_OBJECT

public:
    masterDlg(const QString& controllerIP, QUdpSocket* commandSocket, QWidget* parent = nullptr);

    void queryIdentity();
    void refreshFields();

    QString serialText = QStringLiteral("n/a");
    QString macText;
    QString hardwareText = QStringLiteral("n/a");
    QString bootLoaderText = QStringLiteral("n/a");
    QString firmwareText = QStringLiteral("n/a");
    QString vendorText = QStringLiteral("n/a");

private:
    QString controllerIP;
    QUdpSocket* commandSocket = nullptr;
};
