#include "lens/MoveConfirmation.h"

void MoveConfirmation::note(ReplyFact::Kind kind)
{
    using Kind = ReplyFact::Kind;
    switch (kind) {
    case Kind::ZoomDone:
        m_zoomDone = true;
        break;
    case Kind::FocusDone:
        m_focusDone = true;
        break;
    case Kind::IrisDone:
        m_irisDone = true;
        break;
    case Kind::ControllerError:
        m_error = true;
        break;
    default:
        break;
    }
}

bool MoveConfirmation::isComplete() const
{
    if (m_error)
        return true;
    switch (m_await) {
    case Await::ZoomSettled:
        return m_zoomDone || (m_focusDone && m_irisDone);
    case Await::FocusDone:
        return m_focusDone;
    case Await::IrisDone:
        return m_irisDone;
    }
    return false;
}

bool MoveConfirmation::mayConfirmHeldAxes() const
{
    return m_await == Await::ZoomSettled && m_zoomDone && !m_error && !(m_focusDone && m_irisDone);
}
