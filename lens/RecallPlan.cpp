#include "lens/RecallPlan.h"

#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "link/Protocol.h"
#include "link/ReplyText.h"

RecallPlan::RecallPlan(const ProfileText::Position& target, bool powerZoom, int zoomWideLimit, int zoomNarrowLimit)
{
    using Await = MoveConfirmation::Await;
    using namespace Protocol::Command;
    if (powerZoom && !(target.zoom == zoomWideLimit && target.zoom == zoomNarrowLimit))
        m_zoom = Step{QString::fromLatin1(SetZoom).arg(FNumbers::shortest(double(ReplyText::toFloat(target.zoomText)))),
                      LensWaits::RecallBeforeZoomMs, Await::ZoomSettled, LensWaits::MoveConfirmTimeoutMs, true};
    m_focus = Step{QString::fromLatin1(SetFocusRecall).arg(target.focus), 0, Await::FocusDone,
                   LensWaits::MoveConfirmTimeoutMs, false};
    m_aperture = Step{QString::fromLatin1(SetAperture).arg(FNumbers::shortest(double(target.iris))),
                      LensWaits::RecallBeforeApertureMs, Await::IrisDone, LensWaits::MoveConfirmTimeoutMs, false};
}

bool RecallPlan::fitsLens(const ProfileText::Position& target, int zoomWide, int zoomTele)
{
    return target.zoom >= zoomWide && target.zoom <= zoomTele;
}

QVector<RecallPlan::Step> RecallPlan::steps() const
{
    QVector<Step> all;
    if (m_zoom)
        all << *m_zoom;
    return all << m_focus << m_aperture;
}
