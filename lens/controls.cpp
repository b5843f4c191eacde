#include "app/LensDesk.h"

#include "base/EventWait.h"
#include "base/SettingsStore.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "lens/zoomWorker.h"
#include "link/Protocol.h"
#include "link/ReplyIntake.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QToolTip>

namespace {

// Pacing of the absolute moves: the controller needs a moment between a
// command and the next exchange.
constexpr int FullApertureSettleMs = 20;
constexpr int ApertureSettleMs = 300;
constexpr int StabiliserSettleMs = 100;
constexpr int IrisReleaseSettleMs = 30;
constexpr int ZoomDonePollMs = 5;
// The zoom move's "Please wait..." box appears only for a move that lasts.
constexpr int ZoomWaitBoxDelayMs = 500;

constexpr int StabiliserDefaultSeconds = 60;
constexpr int StabiliserMinimumSeconds = 1;
constexpr int StabiliserMaximumSeconds = 60;

// Where the two zoom end captions sit; swapping exchanges them.
const QRect RightCaption(90, 41, 38, 16);
const QRect LeftCaption(11, 41, 36, 16);

// A held motion button only raises or lowers the worker's flag; the worker
// turns it into move commands. Raising a lowered flag wakes the worker so
// that the first command leaves at once; waking it again while the flag is
// up would start its 40 ms cycle over and send early.
void hold(zoomWorker* worker, std::atomic<bool> zoomWorker::*flag, bool held)
{
    if (!worker)
        return;
    const bool wasHeld = (worker->*flag).exchange(held);
    if (held && !wasHeld)
        worker->wake();
}

void showTipAt(QWidget* widget, const QString& text)
{
    QToolTip::showText(widget->mapToGlobal(QPoint(0, 0)), text, widget);
}

} // namespace

void LensDesk::pauseLiveness()
{
    if (m_livenessMonitor)
        m_livenessMonitor->pause();
}

void LensDesk::resumeLiveness()
{
    if (!m_livenessMonitor)
        return;
    // Only an answer of the controller, handled by the reply dispatcher, is
    // proof of life. The end of the operator's pause (a dialog left, a
    // button let go) is not: a controller the monitor has declared lost
    // stays lost, and recalls and updates stay refused, until it answers.
    if (!m_replyIntake->isReading() && m_livenessMonitor->isLost())
        m_livenessMonitor->endPause();
    else
        m_livenessMonitor->resume();
}

void LensDesk::reportUnconfirmedMove()
{
    statusBar()->showMessage(tr("The controller did not confirm the move."), LensWaits::UnconfirmedMessageMs);
}

bool LensDesk::isPowerZoomModel() const { return productName.contains(QLatin1String(Protocol::Answer::PowerZoomMark)); }

void LensDesk::setZoomWidgetsEnabled(bool on)
{
    for (QWidget* widget :
         std::initializer_list<QWidget*>{zoomSlider, fastWideZoom, slowWideZoom, slowNarrowZoom, fastNarrowZoom,
                                         zoomStepSlider, label_28, label_25, label_8, label_7, label_6})
        widget->setEnabled(on);
}

void LensDesk::restoreZoomSwapFromSettings()
{
    actionSwap_Zoom_Direction->setChecked(SettingsStore::ZoomCaptionsSwapped.read(*mainSettings));
}

void LensDesk::setLensControlsEnabled(bool on)
{
    // Zoom can be driven only on the power-zoom model.
    if (isPowerZoomModel()) {
        setZoomWidgetsEnabled(on);
        restoreZoomSwapFromSettings();
    } else {
        setZoomWidgetsEnabled(false);
    }
    focusSlider->setEnabled(on);
    irisSlider->setEnabled(on);
    for (QWidget* widget : std::initializer_list<QWidget*>{fastNearFocus, slowNearFocus, slowFarFocus, fastFarFocus,
                                                           focusStepSlider, label_27})
        widget->setEnabled(on && afEnabled);
    for (QAction* action : {actionSet_a_name, actionChange_IP, actionReboot, actionLoadPresets, actionSavePresets})
        action->setEnabled(on);
    actionMultiControl->setEnabled(false);
    for (QWidget* widget : std::initializer_list<QWidget*>{fastCloseIris, slowCloseIris, slowOpenIris, fastOpenIris,
                                                           label_6, label_19, label_24})
        widget->setEnabled(on);
    actionLoadPresets->setVisible(true);
    actionSavePresets->setVisible(true);
}

void LensDesk::disableLensControls()
{
    actionSaveSettings_->setVisible(true);
    actionLoadSettings_->setVisible(true);
    if (isPowerZoomModel()) {
        setZoomWidgetsEnabled(false);
        actionSwap_Zoom_Direction->setEnabled(false);
        restoreZoomSwapFromSettings();
    } else {
        actionSwap_Zoom_Direction->setEnabled(false);
    }
    focusSlider->setEnabled(false);
    irisSlider->setEnabled(false);
    for (QWidget* widget : std::initializer_list<QWidget*>{fastNearFocus, slowNearFocus, slowFarFocus, fastFarFocus,
                                                           focusStepSlider, label_27, fastCloseIris, slowCloseIris,
                                                           slowOpenIris, fastOpenIris, label_6, label_19, label_24})
        widget->setEnabled(false);
    actionLoadPresets->setVisible(true);
    actionSavePresets->setVisible(true);
}

void LensDesk::zoomUpdateVal(int value)
{
    currentZoom = value;
    zoomVal->setText(QString::number(value));
    zoomSlider->setValue(value);
}

void LensDesk::focusUpdateVal(int value)
{
    currentFocus = value;
    if (afOverride)
        afEnabled = true;
    focusVal->setText(afEnabled ? QString::number(value) : tr("Manual"));
    focusSlider->setValue(value);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{focusSlider, fastFarFocus, slowFarFocus, slowNearFocus, fastNearFocus,
                                         focusStepSlider, label_17, label_18, label_19, label_20})
        widget->setEnabled(afEnabled);
    resumeLiveness();
}

void LensDesk::irisUpdateVal(float fNumber)
{
    currentIris = fNumber;
    irisVal->setText(QStringLiteral("f/%1").arg(FNumbers::shortest(fNumber)));
    irisSlider->setValue(FNumbers::lastIndexOf(fNumberTable, fNumber));
}

// Zoom buttons: no pause of the liveness monitor.
void LensDesk::zoomFastWidePressed() { hold(m_motionWorker, &zoomWorker::zoomFastWide, true); }
void LensDesk::zoomFastWideReleased() { hold(m_motionWorker, &zoomWorker::zoomFastWide, false); }
void LensDesk::zoomSlowWidePressed() { hold(m_motionWorker, &zoomWorker::zoomSlowWide, true); }
void LensDesk::zoomSlowWideReleased() { hold(m_motionWorker, &zoomWorker::zoomSlowWide, false); }
void LensDesk::zoomSlowNarrowPressed() { hold(m_motionWorker, &zoomWorker::zoomSlowNarrow, true); }
// The slow narrow button repeats itself while held: every 100 ms it emits
// released() and pressed() while it is still down. Such a release is none;
// the flag stays up and the stream keeps its pace.
void LensDesk::zoomSlowNarrowReleased()
{
    if (slowNarrowZoom->isDown())
        return;
    hold(m_motionWorker, &zoomWorker::zoomSlowNarrow, false);
}
void LensDesk::zoomFastNarrowPressed() { hold(m_motionWorker, &zoomWorker::zoomFastNarrow, true); }
void LensDesk::zoomFastNarrowReleased() { hold(m_motionWorker, &zoomWorker::zoomFastNarrow, false); }

// Focus and iris buttons: the liveness monitor rests while the button is held
// (the moves keep the controller busy), and the release is the proof of life.
void LensDesk::focusFastFarPressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::focusFastFar, true);
}

void LensDesk::focusFastFarReleased()
{
    hold(m_motionWorker, &zoomWorker::focusFastFar, false);
    resumeLiveness();
}

void LensDesk::focusSlowFarPressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::focusSlowFar, true);
}

void LensDesk::focusSlowFarReleased()
{
    hold(m_motionWorker, &zoomWorker::focusSlowFar, false);
    resumeLiveness();
}

void LensDesk::focusSlowNearPressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::focusSlowNear, true);
}

void LensDesk::focusSlowNearReleased()
{
    hold(m_motionWorker, &zoomWorker::focusSlowNear, false);
    resumeLiveness();
}

void LensDesk::focusFastNearPressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::focusFastNear, true);
}

void LensDesk::focusFastNearReleased()
{
    hold(m_motionWorker, &zoomWorker::focusFastNear, false);
    resumeLiveness();
}

void LensDesk::irisFastClosePressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::irisFastClose, true);
}

void LensDesk::irisFastCloseReleased()
{
    hold(m_motionWorker, &zoomWorker::irisFastClose, false);
    resumeLiveness();
}

void LensDesk::irisSlowClosePressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::irisSlowClose, true);
}

void LensDesk::irisSlowCloseReleased()
{
    hold(m_motionWorker, &zoomWorker::irisSlowClose, false);
    resumeLiveness();
}

void LensDesk::irisSlowOpenPressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::irisSlowOpen, true);
}

void LensDesk::irisSlowOpenReleased()
{
    hold(m_motionWorker, &zoomWorker::irisSlowOpen, false);
    resumeLiveness();
}

void LensDesk::irisFastOpenPressed()
{
    pauseLiveness();
    hold(m_motionWorker, &zoomWorker::irisFastOpen, true);
}

void LensDesk::irisFastOpenReleased()
{
    hold(m_motionWorker, &zoomWorker::irisFastOpen, false);
    delayWithEvents(IrisReleaseSettleMs);
    resumeLiveness();
}

void LensDesk::zoomSliderPressed() { pauseLiveness(); }
void LensDesk::focusSliderPressed() { pauseLiveness(); }
void LensDesk::irisSliderPressed() { pauseLiveness(); }

void LensDesk::zoomSliderMovedTo()
{
    pauseLiveness();
    sendToController(QString::fromLatin1(Protocol::Command::SetZoom).arg(zoomSlider->value()));

    // The controller confirms a finished zoom move with "zoomDone"; the reply
    // handling sets zoomDoneFlag and resumes the liveness monitor.
    QProgressDialog wait(tr("Please wait..."), QString(), 0, 0, this, Qt::Window | Qt::FramelessWindowHint);
    wait.setWindowModality(Qt::WindowModal);
    wait.setMinimumDuration(ZoomWaitBoxDelayMs);
    wait.setValue(0); // starts the clock of the delayed appearance
    zoomDoneFlag = false;
    QElapsedTimer clock;
    clock.start();
    while (!zoomDoneFlag && clock.elapsed() < LensWaits::MoveConfirmTimeoutMs)
        delayWithEvents(ZoomDonePollMs);
    wait.hide();
    if (!zoomDoneFlag) {
        // Nothing else will resume the monitor; a silent controller is then
        // noticed as lost.
        resumeLiveness();
        reportUnconfirmedMove();
    }
}

void LensDesk::focusSliderMovedTo()
{
    pauseLiveness();
    sendToController(QString::fromLatin1(Protocol::Command::SetFocus).arg(focusSlider->value()));
    resumeLiveness();
}

void LensDesk::irisSliderMovedTo()
{
    // An f-number outside the scale leaves the slider at -1: nothing to send.
    const int index = irisSlider->value();
    if (index >= 0 && index < fNumberTable.size())
        sendToController(
            QString::fromLatin1(Protocol::Command::SetAperture).arg(FNumbers::shortest(fNumberTable.at(index))));
    delayWithEvents(ApertureSettleMs);
    resumeLiveness();
}

void LensDesk::showZoomSliderValue(int value) { showTipAt(zoomSlider, QString::number(value)); }
void LensDesk::showFocusSliderValue(int value) { showTipAt(focusSlider, QString::number(value)); }

void LensDesk::showFocusSpeedSliderValue(int value) { showTipAt(focusStepSlider, tr("Step: %1").arg(value)); }

void LensDesk::aperSliderMoved(int index)
{
    irisSlider->setToolTip(QString::number(index));
    if (index >= 0 && index < fNumberTable.size())
        showTipAt(irisSlider, QStringLiteral("f/%1").arg(FNumbers::shortest(fNumberTable.at(index))));
}

void LensDesk::zoomSpeedSlider()
{
    if (m_motionWorker)
        m_motionWorker->zoomStep = zoomStepSlider->value();
    label_28->setText(tr("Step:%1").arg(zoomStepSlider->value()));
}

void LensDesk::focusSpeedSlider() { focusSpeedChanged(focusStepSlider->value()); }

void LensDesk::focusSpeedChanged(int value)
{
    if (m_motionWorker)
        m_motionWorker->focusStep = focusStepSlider->value();
    label_27->setText(tr("Step:%1").arg(value));
}

void LensDesk::fullOpenAper()
{
    pauseLiveness();
    sendToController(QLatin1String(Protocol::Command::OpenAperture));
    delayWithEvents(FullApertureSettleMs);
    resumeLiveness();
}

void LensDesk::fullCloseAper()
{
    // The caption holds the lens's smallest aperture as "f/22", or "n/a" when
    // the lens did not report its range.
    const QString caption = pushButtonClose->text();
    if (!caption.startsWith(QLatin1Char('f')))
        return;
    pauseLiveness();
    sendToController(QString::fromLatin1(Protocol::Command::SetAperture).arg(caption.mid(2)));
    delayWithEvents(FullApertureSettleMs);
    resumeLiveness();
}

void LensDesk::enISbyUser(bool ticked)
{
    int seconds = 0;
    if (ticked) {
        bool accepted = false;
        seconds = QInputDialog::getInt(this, tr("IS Timeout"), tr("Timeout,s"), StabiliserDefaultSeconds,
                                       StabiliserMinimumSeconds, StabiliserMaximumSeconds, 1, &accepted);
        if (!accepted || seconds == 0)
            return;
    }
    sendToController(QString::fromLatin1(Protocol::Command::EnableStabiliser).arg(seconds));
    delayWithEvents(StabiliserSettleMs);
    resumeLiveness();
}

// The box also reports the dispatcher's changes; only a click by the operator
// (enISbyUser) sends anything.
void LensDesk::enIS(bool) { }

void LensDesk::swapZoom(bool swapped)
{
    label_7->setGeometry(swapped ? RightCaption : LeftCaption);
    label_8->setGeometry(swapped ? LeftCaption : RightCaption);
    SettingsStore::ZoomCaptionsSwapped.write(*mainSettings, actionSwap_Zoom_Direction->isChecked());
}
