#include "app/LensDesk.h"

#include "admin/ProtocolTexts.h"
#include "app/ClickableLabel.h"
#include "base/Branding.h"
#include "base/EventWait.h"
#include "link/ConnectionExchange.h"
#include "link/Protocol.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>

namespace {
// The controller restarts in about two seconds; it answers pings again after that.
constexpr int RebootWaitMs = 2000;
// Time for the "T=" answer to the focus time-out query to arrive.
constexpr int FocusTimeoutQueryWaitMs = 100;
using Protocol::Limits::FocusTimeoutMaximumMs;
using Protocol::Limits::FocusTimeoutMinimumMs;
constexpr int NameLengthLimit = Protocol::Limits::NameLength;
const QString BlankName = QStringLiteral("       ");
// The controller's own wording, shown untranslated like its other messages.
const char* const NameTooLongText = "KX2 name should be not more than 7 symbols";
const char* const NameLabelFormat = "<b>%1<b>";
} // namespace

void LensDesk::rebootDevice()
{
    sendToController(QLatin1String(Protocol::Command::Reboot));
    delayWithEvents(RebootWaitMs);
    resumeLiveness();
}

void LensDesk::focusReInit()
{
    sendToController(QLatin1String(Protocol::Command::FocusReInit));
    resumeLiveness();
}

void LensDesk::setName()
{
    bool accepted = false;
    QString name = QInputDialog::getText(this, tr("KX2 Name"), tr("KX2 Name"), QLineEdit::Normal, QString(), &accepted);
    if (name.size() > NameLengthLimit) {
        QMessageBox::information(this, tr("Name Error"), QLatin1String(NameTooLongText), QMessageBox::Ok);
        name.truncate(NameLengthLimit);
    }
    // A cancelled dialog changes nothing: the stored name and the label keep
    // what the controller was last given.
    if (!accepted)
        return;
    // The controller clears its name only when given blanks, not an empty value.
    if (name.isEmpty())
        name = BlankName;
    sendToController(QString::fromLatin1(Protocol::Command::SetName).arg(name));
    resumeLiveness();

    deviceName = name.toUpper();
    static const QRegularExpression onlyWhiteSpace(QStringLiteral("^\\s+$"));
    if (onlyWhiteSpace.match(deviceName).hasMatch())
        nameLabel->setText(QLatin1String(MakerSite));
    else
        nameLabel->setText(QString::fromLatin1(NameLabelFormat).arg(deviceName.toHtmlEscaped()));
}

void LensDesk::getName()
{
    sendToController(QLatin1String(Protocol::Command::GetName));
    resumeLiveness();
}

void LensDesk::setFocusTimeout()
{
    getFocusTimeout();
    // The "T=" answer updates focusTimeout meanwhile, so the dialog starts at
    // the controller's value (at the minimum before any answer).
    delayWithEvents(FocusTimeoutQueryWaitMs);
    bool accepted = false;
    const int timeout = QInputDialog::getInt(this, tr("Set Focus Timeout"), tr("Focus Timeout,ms:"), focusTimeout,
                                             FocusTimeoutMinimumMs, FocusTimeoutMaximumMs, 1, &accepted);
    if (!accepted)
        return;
    sendToController(QString::fromLatin1(Protocol::Command::SetFocusTimeout).arg(timeout));
    resumeLiveness();
    focusTimeout = timeout;
}

void LensDesk::getFocusTimeout()
{
    // The bare word is the query.
    sendToController(QLatin1String(Protocol::Command::GetFocusTimeout));
    resumeLiveness();
}

void LensDesk::switchProtocol(bool on)
{
    sendToController(QString::fromLatin1(Protocol::Command::SetProtocol).arg(on ? 1 : 0));
}

void LensDesk::protoChosen(QAction* action)
{
    if (!action)
        return;
    const int chosen = action->data().toInt();
    using Decision = ConnectionExchange::ProtocolDecision;
    const Decision decision =
        ConnectionExchange::decideProtocol(chosen, currentProtocol, ConnectionExchange::judge(firmwareVersion));
    if (decision == Decision::AlreadyInUse)
        return;
    // The menu offers nothing else; should it, the check mark goes back.
    if (decision != Decision::Switch) {
        protocolActions[size_t(currentProtocol)]->setChecked(true);
        return;
    }
    const auto answer = QMessageBox::question(
        this, tr("Lens Protocol"),
        tr("Switch the lens protocol to <b>%1</b>?<br><br>The controller restarts to apply it.").arg(action->text()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer == QMessageBox::Yes) {
        // The controller restarts by itself to apply the framing.
        currentProtocol = chosen;
        sendToController(QString::fromLatin1(Protocol::Command::SetProtocol).arg(chosen));
    } else {
        protocolActions[size_t(currentProtocol)]->setChecked(true);
    }
}

// The generated "Switch Protocol" toggle knew two framings; the submenu takes
// its place in the Settings menu and offers all three.
void LensDesk::buildProtocolMenu()
{
    currentProtocol = 0;
    disconnect(actionSwitch_Proto_version, nullptr, this, nullptr);
    actionSwitch_Proto_version->setVisible(false);

    protocolMenu = new QMenu(tr("Lens Protocol"), this);
    protocolMenu->setObjectName(QStringLiteral("protocolMenu"));
    protocolGroup = new QActionGroup(this);
    protocolGroup->setExclusive(true);
    for (int i = 0; i < ConnectionExchange::ProtocolCount; ++i) {
        QAction* entry = protocolMenu->addAction(QString());
        entry->setCheckable(true);
        entry->setData(i);
        protocolGroup->addAction(entry);
        protocolActions[size_t(i)] = entry;
    }
    protocolActions[0]->setChecked(true);
    updateProtocolTexts();
    connect(protocolGroup, &QActionGroup::triggered, this, &LensDesk::protoChosen);

    menuSettings->insertMenu(actionSwitch_Proto_version, protocolMenu);
}

void LensDesk::updateProtocolTexts()
{
    const ConnectionExchange::Verdict verdict = ConnectionExchange::judge(firmwareVersion);
    for (int i = 0; i < ConnectionExchange::ProtocolCount; ++i) {
        protocolActions[size_t(i)]->setText(ProtocolTexts::entryText(i, verdict.recentFirmware));
        protocolActions[size_t(i)]->setVisible(ConnectionExchange::offersProtocol(i, verdict));
    }
    protocolMenu->setToolTip(ProtocolTexts::menuToolTip());
}
