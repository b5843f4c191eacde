#pragma once

#include "lens/MoveConfirmation.h"
#include "lens/ProfileText.h"

#include <QString>

#include <optional>

// The steps of a set-point recall, the same in the panel and in
// lensdesk-cli: zoom (power-zoom model only), focus, aperture, in that
// order; for each its command, the pause before it, what its wait awaits
// and how long the wait may last.
//
// When the zoom step's wait runs out, focus and aperture still follow: the
// lens is better at the stored focus and aperture than left where it was.
// The panel does not hold its controls for the aperture's confirmation; a
// script waits for it to report where the lens ended.
class RecallPlan
{
public:
    struct Step
    {
        QString command;
        int pauseBeforeMs = 0;
        MoveConfirmation::Await await = MoveConfirmation::Await::FocusDone;
        int boundMs = 0;
    };

    // After a zoom move confirmed with "zoomDone" alone, the focus and iris
    // confirmations a controller may still send follow at once when they
    // come; they are awaited this long before focus is driven.
    static constexpr int HeldConfirmationsMs = 300;

    // `target` must be complete. The zoom limits are those the limit finder
    // measured, 0 when not measured: a zoom at both limits needs no move.
    RecallPlan(const ProfileText::Position& target, bool powerZoom, int zoomWideLimit = 0, int zoomNarrowLimit = 0);

    // None when no zoom command goes out.
    const std::optional<Step>& zoom() const { return m_zoom; }
    const Step& focus() const { return m_focus; }
    const Step& aperture() const { return m_aperture; }

private:
    std::optional<Step> m_zoom;
    Step m_focus;
    Step m_aperture;
};
