#include "app/LensDesk.h"

#include "admin/changeIPDlg.h"
#include "admin/masterDlg.h"
#include "app/Branding.h"
#include "app/ClickableLabel.h"
#include "lens/FNumbers.h"
#include "lens/zoomWorker.h"
#include "link/DottedQuad.h"
#include "link/Protocol.h"
#include "link/ReplyText.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSlider>
#include <QStatusBar>
#include <QUdpSocket>

namespace {

constexpr int ControllerErrorShownMs = 3000;

// A fault is reported by the controller as one of these words first.
bool isControllerError(const QString& text)
{
    using namespace Protocol::Answer;
    for (const char* word : {ErrorFocus, ErrorParam, ErrorRange})
        if (text.startsWith(QLatin1String(word)))
            return true;
    return false;
}

// The comma-separated list after `key`, with every occurrence of the key
// taken out of `text` first (the later tests see the shortened text).
QStringList takeList(QString& text, const char* key)
{
    text.remove(QLatin1String(key));
    return text.split(QLatin1Char(','));
}

QString fNumberText(float fNumber)
{
    return LensDesk::tr("f/%1").arg(FNumbers::shortest(double(fNumber)));
}

} // namespace

void LensDesk::readUDPDatagrams()
{
    // Steps of the reply handling wait with events; a readyRead() in such a
    // wait must not start a second pass: the running one reads on.
    if (dispatchingReplies)
        return;
    QScopedValueRollback<bool> running(dispatchingReplies, true);

    // Every datagram counts (a "zoomDone" closely followed by a position
    // report must not be lost), each through the whole sequence, in the
    // order of arrival. Only the current controller is listened to: anything
    // else on the network could otherwise inject answers, down to a forged
    // identification that ends the program. The socket may be dual-stack, so
    // senders are compared as IPv4 numbers, IPv4-mapped forms included.
    while (commandSocket->hasPendingDatagrams()) {
        const qint64 size = commandSocket->pendingDatagramSize();
        QByteArray datagram(int(qMax<qint64>(size, 0)), Qt::Uninitialized);
        QHostAddress sender;
        const qint64 read = commandSocket->readDatagram(datagram.data(), datagram.size(), &sender);
        if (read < 0)
            break;
        datagram.truncate(int(read));

        bool senderIsIpv4 = false;
        const quint32 senderIpv4 = sender.toIPv4Address(&senderIsIpv4);
        bool controllerIsValid = false;
        const quint32 controllerIpv4 = DottedQuad::parse(controllerAddress, &controllerIsValid);
        if (!senderIsIpv4 || !controllerIsValid || senderIpv4 != controllerIpv4)
            continue;

        handleReply(ReplyText::decode(datagram));
    }
}

void LensDesk::handleReply(QString text)
{
    using namespace Protocol::Answer;
    using ReplyText::listFloat;
    using ReplyText::listInt;
    using ReplyText::toFloat;
    using ReplyText::toInt;
    using ReplyText::valueOfKey;
    auto contains = [&text](const char* key) { return text.contains(QLatin1String(key)); };
    auto beginsWith = [&text](const char* key) { return text.startsWith(QLatin1String(key)); };
    auto resumeMonitor = [this] {
        if (livenessMonitor)
            livenessMonitor->resume();
    };

    static const QRegularExpression knownModels{QLatin1String(KnownModels)};
    if (knownModels.match(text).hasMatch())
        handleIdentification(text);

    if (contains(NoLens)) {
        markLensUnavailable();
        resumeMonitor();
        return;
    }

    if (contains(Positions)) {
        const QStringList positions = takeList(text, PositionsKey);
        zoomUpdateVal(listInt(positions, 0));
        if (positions.size() > 1 && !focusSlider->isSliderDown())
            focusUpdateVal(listInt(positions, 1));
        if (positions.size() > 2 && !irisSlider->isSliderDown())
            irisUpdateVal(listFloat(positions, 2));
    }

    if (contains(LensText))
        lensLabel->setToolTip(valueOfKey(text));

    if (beginsWith(Protocol::Answer::Protocol)) {
        int protocol = toInt(valueOfKey(text));
        if (protocol < 0 || protocol > 2)
            protocol = 0;
        currentProtocol = protocol;
        if (protocolActions[size_t(protocol)])
            protocolActions[size_t(protocol)]->setChecked(true);
    }

    if (contains(ApertureRange)) {
        const QStringList range = takeList(text, ApertureRangeKey);
        const float widest = listFloat(range, 0);
        const float narrowest = listFloat(range, 1);
        // Above f/90 the lens is saying it has no aperture to report.
        if (widest > 90 || narrowest > 90) {
            pushButtonOpen->setText(tr("n/a"));
            pushButtonClose->setText(tr("n/a"));
            minimumFNumber = 0.0f;
            irisSlider->setRange(0, 0);
        } else {
            pushButtonOpen->setText(fNumberText(widest));
            pushButtonClose->setText(fNumberText(narrowest));
            minimumFNumber = widest;
            irisSlider->setRange(FNumbers::lastIndexOf(fNumberTable, widest),
                                 FNumbers::lastIndexOf(fNumberTable, narrowest));
        }
    }

    if (contains(ZoomRange)) {
        if (livenessMonitor)
            livenessMonitor->decrementMissed();
        const QStringList range = takeList(text, ZoomRangeKey);
        zoomRangeWide = listInt(range, 0);
        zoomRangeTele = listInt(range, 1);
        label_7->setText(tr("%1mm").arg(zoomRangeWide));
        label_8->setText(tr("%1mm").arg(zoomRangeTele));
        zoomSlider->setRange(zoomRangeWide, zoomRangeTele);
    }

    if (contains(FocusRange)) {
        const QStringList range = takeList(text, FocusRangeKey);
        const int far = listInt(range, 0);
        const int near = listInt(range, 1);
        label_20->setText(QString::number(far));
        label_18->setText(QString::number(near));
        focusSlider->setRange(far, near);
        return;
    }

    if (zoomRangeWide > 0 && minimumFNumber > 0) {
        const QString fNumber = FNumbers::shortest(double(minimumFNumber));
        if (zoomRangeTele > zoomRangeWide)
            lensLabel->setText(tr("Lens: <b>%1-%2mm f/%3</b>")
                                   .arg(QString::number(zoomRangeWide), QString::number(zoomRangeTele), fNumber));
        else
            lensLabel->setText(tr("Lens: <b>%1mm f/%2</b>").arg(QString::number(zoomRangeWide), fNumber));
        setLensControlsEnabled(true);
    }

    if (contains(AutoFocus)) {
        afEnabled = beginsWith(AutoFocusOn) || afOverride;
        resumeMonitor();
    }

    if (contains(Stabiliser)) {
        checkBoxIS->setEnabled(beginsWith(StabiliserPresent));
        resumeMonitor();
    }

    if (contains(StabiliserActive)) {
        checkBoxIS->setChecked(beginsWith(StabiliserActiveOn));
        resumeMonitor();
    }

    if (contains(Name)) {
        text.remove(QLatin1String(Name));
        text.remove(QChar(0));
        if (!text.trimmed().isEmpty())
            nameLabel->setText(QStringLiteral("<b>%1<b>").arg(text.toUpper()));
        else
            nameLabel->setText(QLatin1String(MakerSite));
    }

    if (beginsWith(FocusTimeout)) {
        text.remove(QLatin1String(FocusTimeout));
        focusTimeout = toInt(text);
    }

    if (contains(ZoomDone)) {
        zoomDoneFlag = true;
        resumeMonitor();
    }

    if (isControllerError(text)) {
        focusDoneFlag = true;
        statusBar()->showMessage(tr("Controller: %1").arg(text), ControllerErrorShownMs);
    }

    if (contains(FocusDone))
        focusDoneFlag = true;

    if (contains(IrisDone))
        irisDoneFlag = true;

    if (contains(Zoom)) {
        const int zoom = toInt(valueOfKey(text));
        if (motionWorker)
            motionWorker->zoomPos = zoom;
        zoomUpdateVal(zoom);
    }

    // "errorFocus" names the focus drive but carries no position.
    if (contains(Focus) && !beginsWith(ErrorPrefix)) {
        focusSlider->setEnabled(false);
        const int focus = toInt(valueOfKey(text));
        if (motionWorker)
            motionWorker->focusPos = focus;
        focusUpdateVal(focus);
        focusSlider->setEnabled(true);
        setLensControlsEnabled(true);
    }

    if (contains(Iris)) {
        const float iris = toFloat(valueOfKey(text));
        if (motionWorker)
            motionWorker->irisPos = iris;
        irisUpdateVal(iris);
        irisDoneFlag = true;
    }

    // The service dialog of the latest attempt shows the factory identity.
    auto showInServiceDialog = [this](QString masterDlg::*field, const QString& value) {
        if (!serviceDialog)
            return;
        serviceDialog->*field = value;
        serviceDialog->refreshFields();
    };

    if (contains(Vendor)) {
        text.remove(QLatin1String(Vendor));
        static const QRegularExpression blanksOnly(QStringLiteral("^\\s+$"));
        if (!blanksOnly.match(text).hasMatch())
            vendorInfo = text;
        showInServiceDialog(&masterDlg::vendorText, vendorInfo);
    }

    if (contains(Hardware)) {
        hardwareVersion = valueOfKey(text);
        showInServiceDialog(&masterDlg::hardwareText, hardwareVersion);
        static const QRegularExpression versionNumber(QStringLiteral("(\\d.\\d.\\d+)"));
        const QRegularExpressionMatch version = versionNumber.match(firmwareVersion);
        if (version.hasMatch())
            showInServiceDialog(&masterDlg::firmwareText, version.captured(1));
    }

    if (contains(BootLoader)) {
        bootloaderVersion = valueOfKey(text);
        // Boot loaders of the first series report 255.
        if (bootloaderVersion == QLatin1String("255"))
            bootloaderVersion = QStringLiteral("1");
        showInServiceDialog(&masterDlg::bootLoaderText, bootloaderVersion);
    }

    if (contains(Serial)) {
        serialNumber = valueOfKey(text);
        showInServiceDialog(&masterDlg::serialText, serialNumber);
    }

    if (contains(Mac)) {
        macAddress = valueOfKey(text);
        showInServiceDialog(&masterDlg::macText, macAddress);
    }

    if (contains(Address)) {
        changeIPDialog->setCurrentAddress(valueOfKey(text));
        changeIPDialog->showCurrentSettings();
    }
    if (contains(Mask)) {
        changeIPDialog->setCurrentMask(valueOfKey(text));
        changeIPDialog->showCurrentSettings();
    }
    if (contains(Gateway)) {
        changeIPDialog->setCurrentGateway(valueOfKey(text));
        changeIPDialog->showCurrentSettings();
    }
}
