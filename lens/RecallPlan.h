#pragma once

#include "lens/MoveConfirmation.h"
#include "lens/ProfileText.h"

#include <QString>
#include <QVector>

#include <optional>

// The steps of a set-point recall, the same in the panel and in
// lensdesk-cli: zoom (power-zoom model only), focus, aperture, in that
// order; for each its command, the pause before it, what its wait awaits,
// how long the wait may last, and whether the steps after it go when it
// runs out unconfirmed.
//
// An error reply ends a wait, and the next step follows. When the zoom
// step's wait runs out, focus and aperture still follow: the lens is better
// at the stored focus and aperture than left where it was. A focus move
// never confirmed ends the recall. The panel does not hold its controls for
// the aperture's confirmation; a script waits for it to report where the
// lens ended.
class RecallPlan
{
public:
    struct Step
    {
        QString command;
        int pauseBeforeMs = 0;
        MoveConfirmation::Await await = MoveConfirmation::Await::FocusDone;
        int boundMs = 0;
        bool followedIfUnconfirmed = false;
    };

    // After a zoom move confirmed with "zoomDone" alone, the focus and iris
    // confirmations a controller may still send follow at once when they
    // come; they are awaited this long before focus is driven.
    static constexpr int HeldConfirmationsMs = 300;

    // `target` must be complete. The zoom limits are those the limit finder
    // measured, 0 when not measured: a zoom at both limits needs no move.
    RecallPlan(const ProfileText::Position& target, bool powerZoom, int zoomWideLimit = 0, int zoomNarrowLimit = 0);

    // A stored position belongs to the lens whose zoom range holds its zoom
    // (a prime lens reports a range of one focal length).
    static bool fitsLens(const ProfileText::Position& target, int zoomWide, int zoomTele);

    // None when no zoom command goes out.
    const std::optional<Step>& zoom() const { return m_zoom; }
    const Step& focus() const { return m_focus; }
    const Step& aperture() const { return m_aperture; }
    // Every step, in order.
    QVector<Step> steps() const;

private:
    std::optional<Step> m_zoom;
    Step m_focus;
    Step m_aperture;
};
