#pragma once

#include "link/CommandChannel.h"

#include <QDialog>
#include <QKeySequence>
#include <QList>

class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;
class QUdpSocket;

// The service dialog: the controller's factory identity (serial number, MAC
// address, hardware version, vendor text) next to its firmware and boot-loader
// versions, read and written back. The main window creates one per connection
// attempt and opens it with the service keys; inside it the same keys unlock
// the vendor field. The main window's reply handling hands it the reported
// values through the setters below and calls refreshFields().
// Everything runs on the GUI thread.
class masterDlg : public QDialog
{
    Q_OBJECT

public:
    masterDlg(const QString& controllerIP, QUdpSocket* commandSocket, QWidget* parent = nullptr);

    // The keys that open the dialog from the main window and, inside it,
    // unlock the vendor field: Ctrl+Alt+F10, and Ctrl+Shift+F10 on the
    // desktops (X11, Wayland) where Ctrl+Alt+F-keys switch to a text console
    // and never reach a window (see ServiceKeys).
    static QList<QKeySequence> serviceKeys();

    // Asks the controller for its identity, paced so that each answer is
    // dispatched before the next question; locks the vendor field again.
    void queryIdentity();

    // The identity as the controller's answers report it ("SN=", "MAC=",
    // "HW=", "BL=", "VENDOR="; the firmware from the main window's version
    // text). Kept until refreshFields() shows them.
    void setSerialText(const QString& text) { serialText = text; }
    void setMacText(const QString& text) { macText = text; }
    void setHardwareText(const QString& text) { hardwareText = text; }
    void setBootLoaderText(const QString& text) { bootLoaderText = text; }
    void setFirmwareText(const QString& text) { firmwareText = text; }
    void setVendorText(const QString& text) { vendorText = text; }
    // Shows the six texts in their fields.
    void refreshFields();
    // The main window replaces the dialog at every connection attempt, which
    // may start while the dialog waits between its commands. It is hidden and
    // stops reading at once; it is deleted once no query or write sequence of
    // its own is under way, so such a sequence always ends whole, its
    // commands going to the controller it was made for.
    void retire();

public slots:
    // Empties the command socket. Connected to it by the constructor; the
    // main window disconnects it at once, so in the panel only the reply
    // dispatcher reads the socket.
    void readUDPDatagramsZ();
    void updateSettings();
    void MACEditing(QString text);
    void editVendorInfo();

public:
    // The widgets, named as their object names.
    QLineEdit* macEdit = nullptr;
    QLineEdit* snEdit = nullptr;
    QLabel* label = nullptr;
    QLabel* label_2 = nullptr;
    QToolButton* okButton = nullptr;
    QLineEdit* hwEdit = nullptr;
    QLabel* label_3 = nullptr;
    QLineEdit* fwEdit = nullptr;
    QLabel* label_4 = nullptr;
    QLabel* label_5 = nullptr;
    QLineEdit* blEdit = nullptr;
    QFrame* line = nullptr;
    QLabel* label_6 = nullptr;
    QLineEdit* vndEdit = nullptr;
    QLabel* label_7 = nullptr;

private:
    class SequenceGuard;

    void buildLayout();
    void send(const QString& command);

    QString serialText = QStringLiteral("n/a");
    QString macText;
    QString hardwareText = QStringLiteral("n/a");
    QString bootLoaderText = QStringLiteral("n/a");
    QString firmwareText = QStringLiteral("n/a");
    QString vendorText = QStringLiteral("n/a");

    QString controllerIP;
    QUdpSocket* commandSocket = nullptr;
    CommandChannel m_channel;
    // Query and write sequences under way; they nest when a wait lets the
    // operator start another one.
    int m_sequencesUnderWay = 0;
    bool m_retired = false;
};
