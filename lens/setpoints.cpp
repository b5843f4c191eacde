#include "app/LensDesk.h"

#include "base/EventWait.h"
#include "base/SettingsStore.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "lens/MoveConfirmation.h"
#include "lens/ProfileText.h"
#include "lens/RecallPlan.h"
#include "lens/loadSettDlg.h"
#include "lens/zoomWorker.h"
#include "link/Protocol.h"
#include "link/pingWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStatusBar>

#include <algorithm>

namespace {

// Pacing of a recall in the window: the dialog goes away before the lens
// moves, the completion reports are polled, and the controls come back a
// moment after the last command.
constexpr int RecallStartMs = 100;
constexpr int FirstWaitPollMs = 200;
constexpr int SecondWaitPollMs = 5;
constexpr int AfterRecallMs = 1000;
// How long the status bar says that a recall found no controller.
constexpr int NoControllerMessageMs = 5000;

// The measured limits of one axis; a pair with a member 0 was not measured.
template <typename Value>
bool measured(Value low, Value high)
{
    return low != Value(0) && high != Value(0);
}

// The limits are exclusive: a set point must lie strictly between them. The
// iris limits are f-numbers, the closed end being the larger one, so a pair
// is taken in either order.
template <typename Value>
bool strictlyBetween(Value oneEnd, Value value, Value otherEnd)
{
    return std::min(oneEnd, otherEnd) < value && value < std::max(oneEnd, otherEnd);
}

} // namespace

void LensDesk::saveSettings()
{
    bool accepted = false;
    const QString name =
        QInputDialog::getText(this, tr("Setpoint Name"), tr("Setpoint Name"), QLineEdit::Normal, QString(), &accepted);
    if (!accepted || name.isEmpty())
        return;
    // Written through at once: closing the window ends the process.
    SettingsStore::writeThrough(profileSettings, ProfileText::keyForName(name),
                                ProfileText::format(currentZoom, currentFocus, currentIris));
}

void LensDesk::loadSettings()
{
    m_loadDialog->refresh();
    m_loadDialog->show();
    pauseLiveness();
}

void LensDesk::notgonnaloadFunc() { resumeLiveness(); }

void LensDesk::loadSetPointNow(QString name)
{
    // Without a controller the recall would wait for confirmations that never
    // come and then switch the lens controls on for nobody.
    if (!hasLiveController()) {
        statusBar()->showMessage(tr("No controller is connected: the set point \"%1\" is not recalled.").arg(name),
                                 NoControllerMessageMs);
        return;
    }
    pauseLiveness();
    m_loadDialog->hide();
    // A recall that ends without driving the lens to its end gives the
    // liveness monitor back at once: nothing else would, and a controller
    // falling silent afterwards would go unnoticed. The pings it missed
    // before the pause stay counted: the end of a recall is no answer of the
    // controller. After a complete recall the lens's own reports resume it.
    bool completed = false;
    const auto endPauseUnlessCompleted = qScopeGuard([&] {
        if (!completed && m_livenessMonitor)
            m_livenessMonitor->endPause();
    });
    delayWithEvents(RecallStartMs);

    const QString value = ProfileText::storedValue(*profileSettings, name);
    if (value == QLatin1String(ProfileText::NoProfile))
        return;
    const ProfileText::Position target = ProfileText::parse(value);
    // A hand-edited store may hold less than a whole position; driving the
    // lens to a guessed 0 would be worse than refusing.
    if (!target.isComplete()) {
        QMessageBox::warning(this, tr("Wrong presets"),
                             tr("The set point \"%1\" holds \"%2\", not zoom, focus and aperture. "
                                "It is not applied.")
                                 .arg(name, value));
        return;
    }
    const int zoom = target.zoom;
    const int focus = target.focus;
    const float iris = target.iris;

    if (!RecallPlan::fitsLens(target, zoomRangeWide, zoomRangeTele)) {
        QMessageBox::warning(this, tr("Wrong presets"), tr("This presets is for the different lens!"));
        return;
    }

    QProgressDialog progress(
        tr("Setting lens positions... [%1,%2,%3]").arg(zoom).arg(focus).arg(FNumbers::shortest(iris)), tr("Cancel"), 0,
        0, this, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress.setWindowTitle(tr("Canon Lens Controller"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();

    // The limits measured by the limit finder; a new connection has none.
    const int zoomWide = m_motionWorker ? m_motionWorker->zoomWideLimit.load() : 0;
    const int zoomNarrow = m_motionWorker ? m_motionWorker->zoomNarrowLimit.load() : 0;
    const int focusFar = m_motionWorker ? m_motionWorker->focusFarLimit.load() : 0;
    const int focusNear = m_motionWorker ? m_motionWorker->focusNearLimit.load() : 0;
    const float irisClose = m_motionWorker ? m_motionWorker->irisCloseLimit.load() : 0.0f;
    const float irisOpen = m_motionWorker ? m_motionWorker->irisOpenLimit.load() : 0.0f;
    const bool powerZoom = isPowerZoomModel();

    QString outOfRange;
    if (powerZoom && measured(zoomWide, zoomNarrow) && !strictlyBetween(zoomWide, zoom, zoomNarrow))
        outOfRange = tr("Zoom value %1 is out of range [%2,%3] for this lens!").arg(zoom).arg(zoomWide).arg(zoomNarrow);
    else if (measured(focusFar, focusNear) && !strictlyBetween(focusFar, focus, focusNear))
        outOfRange =
            tr("Focus value %1 is out of range [%2,%3] for this lens!").arg(focus).arg(focusFar).arg(focusNear);
    else if (measured(irisClose, irisOpen) && !strictlyBetween(irisClose, iris, irisOpen))
        outOfRange = tr("Iris value %1 is out of range [%2,%3] for zoom/lens!")
                         .arg(FNumbers::shortest(iris), FNumbers::shortest(irisClose), FNumbers::shortest(irisOpen));
    if (!outOfRange.isEmpty()) {
        progress.hide();
        QMessageBox::warning(this, tr("Apllying Settings error"), outOfRange);
        return;
    }

    setLensControlsEnabled(false);
    const RecallPlan plan(target, powerZoom, zoomWide, zoomNarrow);
    QElapsedTimer clock;
    clock.start();
    // A wait that runs out ends the recall, unless the plan lets the next
    // steps follow. The controls come back only for a controller that still
    // counts as alive; a lost one gets them back with its next report.
    const auto giveUp = [&] {
        progress.hide();
        if (hasLiveController())
            setLensControlsEnabled(true);
        reportUnconfirmedMove();
    };
    const auto givenUp = [&](int boundMs) {
        if (clock.elapsed() < boundMs)
            return false;
        giveUp();
        return true;
    };
    const auto stopOnCancel = [&] {
        if (!progress.wasCanceled())
            return false;
        sendToController(QLatin1String(Protocol::Command::StopFocus));
        return true;
    };

    if (const std::optional<RecallPlan::Step>& zoomStep = plan.zoom()) {
        delayWithEvents(zoomStep->pauseBeforeMs);
        // The replies from here on tell when the zoom move is over (see
        // MoveConfirmation): focus goes only then, not on the confirmation
        // of an earlier move.
        MoveConfirmation confirmation(zoomStep->await);
        const QScopedValueRollback<MoveConfirmation*> watching(m_moveConfirmation, &confirmation);
        sendToController(zoomStep->command);
        clock.restart();
        bool unconfirmed = false;
        do {
            QCoreApplication::processEvents();
            delayWithEvents(FirstWaitPollMs);
            if (stopOnCancel() || confirmation.isComplete())
                break;
            unconfirmed = clock.elapsed() >= zoomStep->boundMs;
        } while (!unconfirmed);
        // Confirmations of the held focus and iris that may still follow
        // must not end the focus move's wait.
        clock.restart();
        while (confirmation.mayConfirmHeldAxes() && clock.elapsed() < RecallPlan::HeldConfirmationsMs
               && !progress.wasCanceled())
            delayWithEvents(SecondWaitPollMs);
        // The lens is better at the stored focus and aperture than where it
        // is: they follow all the same (the plan says so of the zoom step).
        if (unconfirmed && !zoomStep->followedIfUnconfirmed) {
            giveUp();
            return;
        }
        if (unconfirmed)
            statusBar()->showMessage(tr("The controller did not confirm the zoom move; focus and aperture follow."),
                                     LensWaits::UnconfirmedMessageMs);
    } else {
        // No zoom move: the controller reports focus and iris settled after
        // the moves before this recall.
        clock.restart();
        do {
            QCoreApplication::processEvents();
            delayWithEvents(FirstWaitPollMs);
            if (stopOnCancel())
                break;
            if (givenUp(LensWaits::MoveConfirmTimeoutMs))
                return;
        } while (!(focusDoneFlag && irisDoneFlag));
    }

    zoomDoneFlag = false;
    focusDoneFlag = false;
    irisDoneFlag = false;
    if (!powerZoom)
        zoomDoneFlag = true;
    {
        MoveConfirmation confirmation(plan.focus().await);
        const QScopedValueRollback<MoveConfirmation*> watching(m_moveConfirmation, &confirmation);
        sendToController(plan.focus().command);
        clock.restart();
        do {
            delayWithEvents(SecondWaitPollMs);
            QCoreApplication::processEvents();
            if (stopOnCancel())
                break;
            if (clock.elapsed() >= plan.focus().boundMs) {
                if (!plan.focus().followedIfUnconfirmed) {
                    giveUp();
                    return;
                }
                break;
            }
        } while (!confirmation.isComplete());
    }

    // The aperture's confirmation comes while the controls are back.
    delayWithEvents(plan.aperture().pauseBeforeMs);
    sendToController(plan.aperture().command);

    completed = true;
    progress.hide();
    setLensControlsEnabled(true);
    delayWithEvents(AfterRecallMs);
}

void LensDesk::loadSetPointNow0() { loadSetPointNow(QStringLiteral("0")); }
void LensDesk::loadSetPointNow1() { loadSetPointNow(QStringLiteral("1")); }
void LensDesk::loadSetPointNow2() { loadSetPointNow(QStringLiteral("2")); }
void LensDesk::loadSetPointNow3() { loadSetPointNow(QStringLiteral("3")); }
void LensDesk::loadSetPointNow4() { loadSetPointNow(QStringLiteral("4")); }
void LensDesk::loadSetPointNow5() { loadSetPointNow(QStringLiteral("5")); }
void LensDesk::loadSetPointNow6() { loadSetPointNow(QStringLiteral("6")); }
void LensDesk::loadSetPointNow7() { loadSetPointNow(QStringLiteral("7")); }
void LensDesk::loadSetPointNow8() { loadSetPointNow(QStringLiteral("8")); }
void LensDesk::loadSetPointNow9() { loadSetPointNow(QStringLiteral("9")); }
