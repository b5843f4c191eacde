#include "app/LensDesk.h"

#include "app/ClickableLabel.h"
#include "base/EventWait.h"
#include "lens/FNumbers.h"
#include "lens/zoomWorker.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QSlider>

#include <algorithm>
#include <iterator>

namespace {
// How often the window looks whether the worker has finished the search.
constexpr int SearchPollMs = 200;
} // namespace

// The worker measures the limits, one search step per cycle in its own
// thread; the window only raises the search flags, waits and shows the result.
void LensDesk::findLimits()
{
    if (!m_motionWorker)
        return;
    // A new identification during the wait replaces the worker.
    const QPointer<zoomWorker> current = m_motionWorker;
    zoomWorker& worker = *m_motionWorker;

    QProgressDialog progress(tr("Finding lens limits..."), tr("Cancel"), 0, 0, this,
                             Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    setLensControlsEnabled(false);

    std::atomic<bool>* const searches[] = {&worker.searchZoomNarrow, &worker.searchZoomWide, &worker.searchFocusNear,
                                           &worker.searchFocusFar,   &worker.searchIrisOpen, &worker.searchIrisClose};
    for (std::atomic<bool>* search : searches)
        *search = true;
    worker.wake();

    for (;;) {
        QCoreApplication::processEvents();
        delayWithEvents(SearchPollMs);
        if (!current)
            break;
        if (progress.wasCanceled()) {
            // The worker never raises a cleared search again, so the cancel
            // holds even against a step under way.
            for (std::atomic<bool>* search : searches)
                *search = false;
            for (std::atomic<bool>* held : {&worker.zoomFastNarrow, &worker.zoomFastWide, &worker.focusFastFar,
                                            &worker.focusFastNear, &worker.irisFastClose, &worker.irisFastOpen})
                *held = false;
            break;
        }
        if (std::none_of(std::begin(searches), std::end(searches), [](std::atomic<bool>* s) { return s->load(); }))
            break;
    }

    setLensControlsEnabled(true);
    if (!current)
        return;
    nameLabel->setText(tr("%7 - Limits: [%1,%2] [%3,%4] [%5,%6]")
                           .arg(QString::number(worker.zoomWideLimit), QString::number(worker.zoomNarrowLimit),
                                QString::number(worker.focusFarLimit), QString::number(worker.focusNearLimit),
                                FNumbers::shortest(worker.irisCloseLimit), FNumbers::shortest(worker.irisOpenLimit),
                                controllerAddress));
}

void LensDesk::updateZoomStep(int value) { zoomSlider->setValue(value); }
void LensDesk::updateFocusStep(int value) { focusSlider->setValue(value); }
void LensDesk::updateIrisStep(int value) { irisSlider->setValue(value); }
