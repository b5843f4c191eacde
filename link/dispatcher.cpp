#include "app/LensDesk.h"

#include "admin/changeIPDlg.h"
#include "admin/masterDlg.h"
#include "app/ClickableLabel.h"
#include "base/Branding.h"
#include "lens/FNumbers.h"
#include "lens/MoveConfirmation.h"
#include "lens/zoomWorker.h"
#include "link/ReplyIntake.h"
#include "link/ReplyReader.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QTextDocument>
#include <QUdpSocket>

namespace {

constexpr int ControllerErrorShownMs = 3000;

QString fNumberText(double fNumber) { return LensDesk::tr("f/%1").arg(FNumbers::shortest(fNumber)); }

// Controller text shown in a tooltip: a tooltip renders anything that looks
// like markup as rich text, so such text is escaped and shown as it came.
QString toolTipText(const QString& text)
{
    return Qt::mightBeRichText(text) ? QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()) : text;
}

} // namespace

void LensDesk::readUDPDatagrams()
{
    // Every datagram counts (a "zoomDone" closely followed by a position
    // report must not be lost), each through the whole sequence, in the
    // order of arrival, a bounded batch at a time so that a controller that
    // never stops talking cannot starve the window. Only the current
    // controller is listened to: anything else on the network could
    // otherwise inject answers, down to a forged identification that ends
    // the program. Steps of the reply handling wait with events; a
    // readyRead() in such a wait starts no second pass: the running one
    // reads on (see ReplyIntake).
    m_replyIntake->readAvailable();
}

void LensDesk::handleReply(const QString& text)
{
    using Kind = ReplyFact::Kind;
    // The service dialog of the latest attempt shows the factory identity.
    auto showInServiceDialog = [this](void (masterDlg::*set)(const QString&), const QString& value) {
        if (!m_serviceDialog)
            return;
        (m_serviceDialog->*set)(value);
        m_serviceDialog->refreshFields();
    };

    const QVector<ReplyFact> facts = ReplyReader::read(text);
    for (const ReplyFact& fact : facts) {
        const double first = fact.numbers.value(0);
        const double second = fact.numbers.value(1);
        switch (fact.kind) {
        case Kind::Identification:
            handleIdentification(fact.text, fact.version);
            break;
        case Kind::NoLens:
            markLensUnavailable();
            break;
        case Kind::Positions:
            zoomUpdateVal(int(first));
            if (fact.numbers.size() > 1 && !focusSlider->isSliderDown())
                focusUpdateVal(int(second));
            if (fact.numbers.size() > 2 && !irisSlider->isSliderDown())
                irisUpdateVal(float(fact.numbers.at(2)));
            break;
        case Kind::LensDescription:
            lensLabel->setToolTip(toolTipText(fact.text));
            break;
        case Kind::Protocol:
            currentProtocol = int(first);
            if (protocolActions[size_t(currentProtocol)])
                protocolActions[size_t(currentProtocol)]->setChecked(true);
            break;
        case Kind::ApertureRange:
            if (fact.on) {
                pushButtonOpen->setText(fNumberText(first));
                pushButtonClose->setText(fNumberText(second));
                minimumFNumber = float(first);
                irisSlider->setRange(FNumbers::lastIndexOf(fNumberTable, float(first)),
                                     FNumbers::lastIndexOf(fNumberTable, float(second)));
            } else {
                pushButtonOpen->setText(tr("n/a"));
                pushButtonClose->setText(tr("n/a"));
                minimumFNumber = 0.0f;
                irisSlider->setRange(0, 0);
            }
            break;
        case Kind::ZoomRange:
            if (m_livenessMonitor)
                m_livenessMonitor->decrementMissed();
            zoomRangeWide = int(first);
            zoomRangeTele = int(second);
            label_7->setText(tr("%1mm").arg(zoomRangeWide));
            label_8->setText(tr("%1mm").arg(zoomRangeTele));
            zoomSlider->setRange(zoomRangeWide, zoomRangeTele);
            break;
        case Kind::FocusRange:
            label_20->setText(QString::number(int(first)));
            label_18->setText(QString::number(int(second)));
            focusSlider->setRange(int(first), int(second));
            break;
        case Kind::LensSummary:
            if (zoomRangeWide > 0 && minimumFNumber > 0) {
                const QString fNumber = FNumbers::shortest(double(minimumFNumber));
                if (zoomRangeTele > zoomRangeWide)
                    lensLabel->setText(
                        tr("Lens: <b>%1-%2mm f/%3</b>")
                            .arg(QString::number(zoomRangeWide), QString::number(zoomRangeTele), fNumber));
                else
                    lensLabel->setText(tr("Lens: <b>%1mm f/%2</b>").arg(QString::number(zoomRangeWide), fNumber));
                setLensControlsEnabled(true);
            }
            break;
        case Kind::AutoFocus:
            afEnabled = fact.on || afOverride;
            break;
        case Kind::StabiliserPresent:
            checkBoxIS->setEnabled(fact.on);
            break;
        case Kind::StabiliserActive:
            checkBoxIS->setChecked(fact.on);
            break;
        case Kind::Name:
            if (!fact.text.trimmed().isEmpty())
                nameLabel->setText(QStringLiteral("<b>%1<b>").arg(fact.text.toUpper().toHtmlEscaped()));
            else
                nameLabel->setText(QLatin1String(MakerSite));
            break;
        case Kind::FocusTimeout:
            focusTimeout = int(first);
            break;
        case Kind::ZoomDone:
            zoomDoneFlag = true;
            break;
        case Kind::ControllerError:
            focusDoneFlag = true;
            statusBar()->showMessage(tr("Controller: %1").arg(fact.text), ControllerErrorShownMs);
            break;
        case Kind::FocusDone:
            focusDoneFlag = true;
            break;
        case Kind::IrisDone:
            irisDoneFlag = true;
            break;
        case Kind::ZoomPosition:
            if (m_motionWorker)
                m_motionWorker->zoomPos = int(first);
            zoomUpdateVal(int(first));
            break;
        case Kind::FocusPosition:
            focusSlider->setEnabled(false);
            if (m_motionWorker)
                m_motionWorker->focusPos = int(first);
            focusUpdateVal(int(first));
            focusSlider->setEnabled(true);
            setLensControlsEnabled(true);
            break;
        case Kind::IrisPosition:
            if (m_motionWorker)
                m_motionWorker->irisPos = float(first);
            irisUpdateVal(float(first));
            irisDoneFlag = true;
            break;
        case Kind::Vendor:
            if (fact.on)
                vendorInfo = fact.text;
            showInServiceDialog(&masterDlg::setVendorText, vendorInfo);
            break;
        case Kind::Hardware: {
            hardwareVersion = fact.text;
            showInServiceDialog(&masterDlg::setHardwareText, hardwareVersion);
            static const QRegularExpression versionNumber(QStringLiteral("(\\d.\\d.\\d+)"));
            const QRegularExpressionMatch version = versionNumber.match(firmwareVersion);
            if (version.hasMatch())
                showInServiceDialog(&masterDlg::setFirmwareText, version.captured(1));
            break;
        }
        case Kind::BootLoader:
            bootloaderVersion = fact.text;
            showInServiceDialog(&masterDlg::setBootLoaderText, bootloaderVersion);
            break;
        case Kind::Serial:
            serialNumber = fact.text;
            showInServiceDialog(&masterDlg::setSerialText, serialNumber);
            break;
        case Kind::Mac:
            macAddress = fact.text;
            showInServiceDialog(&masterDlg::setMacText, macAddress);
            break;
        case Kind::Address:
            changeIPDialog->setCurrentAddress(fact.text);
            changeIPDialog->showCurrentSettings();
            break;
        case Kind::Mask:
            changeIPDialog->setCurrentMask(fact.text);
            changeIPDialog->showCurrentSettings();
            break;
        case Kind::Gateway:
            changeIPDialog->setCurrentGateway(fact.text);
            changeIPDialog->showCurrentSettings();
            break;
        }
        if (m_moveConfirmation)
            m_moveConfirmation->note(fact.kind);
        if (fact.provesLife())
            resumeLiveness();
    }
}
