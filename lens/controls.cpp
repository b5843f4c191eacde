#include "app/LensDesk.h"

#include "app/SettingsStore.h"
#include "link/Protocol.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>

bool LensDesk::isPowerZoomModel() const
{
    return productName.contains(QLatin1String(Protocol::Answer::PowerZoomMark));
}

void LensDesk::setZoomWidgetsEnabled(bool on)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{zoomSlider, fastWideZoom, slowWideZoom, slowNarrowZoom,
                                                           fastNarrowZoom, zoomStepSlider, label_28, label_25, label_8,
                                                           label_7, label_6})
        widget->setEnabled(on);
}

void LensDesk::restoreZoomSwapFromSettings()
{
    actionSwap_Zoom_Direction->setChecked(
        mainSettings->value(QLatin1String(SettingsStore::ZoomCaptionsSwapped), false).toBool());
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

// The following arrive with the lens controls.
void LensDesk::zoomUpdateVal(int) {}
void LensDesk::focusUpdateVal(int) {}
void LensDesk::irisUpdateVal(float) {}
void LensDesk::zoomFastWidePressed() {}
void LensDesk::zoomFastWideReleased() {}
void LensDesk::zoomSlowWidePressed() {}
void LensDesk::zoomSlowWideReleased() {}
void LensDesk::zoomSlowNarrowPressed() {}
void LensDesk::zoomSlowNarrowReleased() {}
void LensDesk::zoomFastNarrowPressed() {}
void LensDesk::zoomFastNarrowReleased() {}
void LensDesk::focusFastFarPressed() {}
void LensDesk::focusFastFarReleased() {}
void LensDesk::focusSlowFarPressed() {}
void LensDesk::focusSlowFarReleased() {}
void LensDesk::focusSlowNearPressed() {}
void LensDesk::focusSlowNearReleased() {}
void LensDesk::focusFastNearPressed() {}
void LensDesk::focusFastNearReleased() {}
void LensDesk::irisFastClosePressed() {}
void LensDesk::irisFastCloseReleased() {}
void LensDesk::irisSlowClosePressed() {}
void LensDesk::irisSlowCloseReleased() {}
void LensDesk::irisSlowOpenPressed() {}
void LensDesk::irisSlowOpenReleased() {}
void LensDesk::irisFastOpenPressed() {}
void LensDesk::irisFastOpenReleased() {}
void LensDesk::zoomSliderPressed() {}
void LensDesk::focusSliderPressed() {}
void LensDesk::irisSliderPressed() {}
void LensDesk::zoomSliderMovedTo() {}
void LensDesk::focusSliderMovedTo() {}
void LensDesk::irisSliderMovedTo() {}
void LensDesk::showZoomSliderValue(int) {}
void LensDesk::showFocusSliderValue(int) {}
void LensDesk::showFocusSpeedSliderValue(int) {}
void LensDesk::aperSliderMoved(int) {}
void LensDesk::zoomSpeedSlider() {}
void LensDesk::focusSpeedSlider() {}
void LensDesk::focusSpeedChanged(int) {}
void LensDesk::fullOpenAper() {}
void LensDesk::fullCloseAper() {}
void LensDesk::enISbyUser(bool) {}
void LensDesk::enIS(bool) {}
void LensDesk::swapZoom(bool) {}
