#include "admin/masterDlg.h"

#include "admin/IdentityChecks.h"
#include "admin/ServiceKeys.h"
#include "app/FormBuilder.h"
#include "base/EventWait.h"
#include "link/Protocol.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QShortcut>
#include <QToolButton>
#include <QUdpSocket>

namespace {
constexpr int DialogWidth = 235;
constexpr int MinimumHeight = 189;
constexpr int MaximumHeight = 300;
// The controller answers each identity query within a few milliseconds;
// 200 ms lets the answer be dispatched before the next question.
constexpr int QueryWaitMs = 200;
constexpr int WriteWaitMs = 10;
const QString NotAvailable = QStringLiteral("n/a");
// The service texts keep their factory wording, untranslated.
const char* const HardwareVersionError = "HW version should be <255";
const char* const SerialNumberError = "SN wersion should be in range 15000-65535";

// The dialog's texts share the translation context of its original form.
QString translated(const char* text) { return QCoreApplication::translate("master", text); }

} // namespace

// Marks a paced sequence of the dialog as under way, and carries out a
// retirement that came during it once the last one has ended.
class masterDlg::SequenceGuard
{
public:
    explicit SequenceGuard(masterDlg* dialog)
        : m_dialog(dialog)
    {
        ++m_dialog->m_sequencesUnderWay;
    }
    ~SequenceGuard()
    {
        if (--m_dialog->m_sequencesUnderWay == 0 && m_dialog->m_retired)
            m_dialog->deleteLater();
    }
    SequenceGuard(const SequenceGuard&) = delete;
    SequenceGuard& operator=(const SequenceGuard&) = delete;

private:
    masterDlg* const m_dialog;
};

masterDlg::masterDlg(const QString& controllerIP, QUdpSocket* commandSocket, QWidget* parent)
    : QDialog(parent)
    , controllerIP(controllerIP)
    , commandSocket(commandSocket)
    , m_channel(commandSocket)
{
    buildLayout();
    connect(macEdit, &QLineEdit::textChanged, this, &masterDlg::MACEditing);
    connect(okButton, &QToolButton::clicked, this, &masterDlg::updateSettings);

    // The dialog's own reader only empties what the reply dispatcher left.
    // In the panel it never runs: the main window disconnects it right after
    // creating the dialog (LensDesk::keepDispatcherSoleReader), so that the
    // dispatcher stays the socket's only reader and no answer is drained
    // here unread. The dispatcher hands the dialog its values instead.
    connect(commandSocket, &QUdpSocket::readyRead, this, &masterDlg::readUDPDatagramsZ);

    for (const QKeySequence& keys : serviceKeys()) {
        auto* unlockVendor = new QShortcut(keys, this);
        unlockVendor->setContext(Qt::WindowShortcut);
        connect(unlockVendor, &QShortcut::activated, this, &masterDlg::editVendorInfo);
    }
}

QList<QKeySequence> masterDlg::serviceKeys()
{
    QList<QKeySequence> keys;
    for (const std::string& sequence : ServiceKeys::sequences(ServiceKeys::thisDesktop()))
        keys << QKeySequence(QString::fromStdString(sequence), QKeySequence::PortableText);
    return keys;
}

void masterDlg::buildLayout()
{
    setObjectName(QStringLiteral("master"));
    resize(DialogWidth, MinimumHeight);
    setMinimumSize(DialogWidth, MinimumHeight);
    setMaximumSize(DialogWidth, MaximumHeight);
    setWindowTitle(translated("HW Settings"));
    const QIcon windowIcon(QStringLiteral(":/master/cropped-orvo_0.png"));
    setWindowIcon(windowIcon);

    macEdit = makeChild<QLineEdit>(this, "macEdit", QRect(40, 10, 101, 20), NotAvailable);
    snEdit = makeChild<QLineEdit>(this, "snEdit", QRect(40, 34, 101, 20), NotAvailable);
    label = makeChild<QLabel>(this, "label", QRect(10, 15, 30, 10), translated("MAC:"));
    label_2 = makeChild<QLabel>(this, "label_2", QRect(15, 36, 21, 16), translated("S/N:"));
    okButton = makeChild<QToolButton>(this, "okButton", QRect(148, 9, 81, 95), translated("Write"));
    okButton->setIcon(QIcon(QStringLiteral(":/master/1441908816_chip.png")));
    okButton->setIconSize(QSize(25, 25));
    okButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    hwEdit = makeChild<QLineEdit>(this, "hwEdit", QRect(40, 58, 101, 20), NotAvailable);
    label_3 = makeChild<QLabel>(this, "label_3", QRect(15, 60, 21, 16), translated("HW:"));
    fwEdit = makeChild<QLineEdit>(this, "fwEdit", QRect(80, 131, 61, 20), NotAvailable);
    fwEdit->setEnabled(false);
    label_4 = makeChild<QLabel>(this, "label_4", QRect(19, 133, 59, 16), translated("FW Version:"));
    label_5 = makeChild<QLabel>(this, "label_5", QRect(14, 156, 64, 18), translated("Boot Loader:"));
    blEdit = makeChild<QLineEdit>(this, "blEdit", QRect(80, 155, 61, 20), NotAvailable);
    blEdit->setEnabled(false);
    line = makeLine(this, "line", QRect(18, 117, 122, 3), Qt::Horizontal);
    label_6 = makeChild<QLabel>(this, "label_6", QRect(151, 135, 74, 37));
    label_6->setPixmap(windowIcon.pixmap(QSize(74, 37)));
    label_6->setScaledContents(true);
    vndEdit = makeChild<QLineEdit>(this, "vndEdit", QRect(40, 82, 101, 20), NotAvailable);
    vndEdit->setEnabled(false);
    label_7 = makeChild<QLabel>(this, "label_7", QRect(22, 84, 16, 16), translated("VI:"));

    setTabOrder(macEdit, snEdit);
    setTabOrder(snEdit, hwEdit);
    setTabOrder(hwEdit, okButton);
    setTabOrder(okButton, fwEdit);
    setTabOrder(fwEdit, blEdit);
}

void masterDlg::send(const QString& command) { m_channel.send(controllerIP, command); }

void masterDlg::queryIdentity()
{
    const SequenceGuard underWay(this);
    const char* const queries[] = {Protocol::Command::GetSerial, Protocol::Command::GetMac,
                                   Protocol::Command::GetHardware, Protocol::Command::BootLoaderVersion,
                                   Protocol::Command::GetVendor};
    for (const char* query : queries) {
        send(QLatin1String(query));
        delayWithEvents(QueryWaitMs);
    }
    send(QLatin1String(Protocol::Command::Version));
    vndEdit->setEnabled(false);
}

void masterDlg::refreshFields()
{
    snEdit->setText(serialText);
    macEdit->setText(macText);
    hwEdit->setText(hardwareText);
    blEdit->setText(bootLoaderText);
    fwEdit->setText(firmwareText);
    vndEdit->setText(vendorText);
}

void masterDlg::retire()
{
    disconnect(commandSocket, nullptr, this, nullptr);
    hide();
    m_retired = true;
    if (m_sequencesUnderWay == 0)
        deleteLater();
}

void masterDlg::readUDPDatagramsZ()
{
    // Bounded: a flood arriving while draining must not hold the GUI thread.
    for (int drained = 0; drained < 64 && commandSocket->hasPendingDatagrams(); ++drained)
        commandSocket->receiveDatagram();
}

void masterDlg::MACEditing(QString text)
{
    // Only a hint: a MAC in another form is still written as typed.
    macEdit->setStyleSheet(FieldStyle::of(IdentityChecks::isDecimalMac(text)));
}

void masterDlg::updateSettings()
{
    const SequenceGuard underWay(this);
    if (!IdentityChecks::isHardwareVersionAccepted(hwEdit->text())) {
        QMessageBox::warning(this, translated("Error"), QLatin1String(HardwareVersionError), QMessageBox::Ok);
        return;
    }
    if (!IdentityChecks::isSerialNumberAccepted(snEdit->text())) {
        QMessageBox::warning(this, translated("Error"), QLatin1String(SerialNumberError), QMessageBox::Ok);
        return;
    }
    // The fields are written as they stand, not as the numbers read from them.
    const QString writes[] = {QString::fromLatin1(Protocol::Command::SetSerial).arg(snEdit->text()),
                              QString::fromLatin1(Protocol::Command::SetMac).arg(macEdit->text()),
                              QString::fromLatin1(Protocol::Command::SetHardware).arg(hwEdit->text()),
                              QString::fromLatin1(Protocol::Command::SetVendor).arg(vndEdit->text())};
    for (const QString& write : writes) {
        send(write);
        delayWithEvents(WriteWaitMs);
    }
    hide();
}

void masterDlg::editVendorInfo() { vndEdit->setEnabled(true); }
