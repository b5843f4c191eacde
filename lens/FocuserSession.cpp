#include "lens/FocuserSession.h"

#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "link/ControllerLink.h"
#include "link/Protocol.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("FocuserSession", text); }

bool refuse(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

// Facts that change nothing a client sees (the answers to pings among them).
bool isObservable(ReplyFact::Kind kind)
{
    using Kind = ReplyFact::Kind;
    switch (kind) {
    case Kind::LensSummary:
    case Kind::AutoFocus:
    case Kind::Protocol:
    case Kind::FocusTimeout:
    case Kind::ZoomDone:
    case Kind::IrisDone:
    case Kind::Vendor:
    case Kind::Hardware:
    case Kind::BootLoader:
    case Kind::Address:
    case Kind::Mask:
    case Kind::Gateway:
        return false;
    default:
        return true;
    }
}

} // namespace

FocuserSession::FocuserSession(ControllerLink& link)
    : m_link(link)
{
    m_link.onFact = [this](const ReplyFact& fact) { noteFact(fact); };
    m_link.onStateChanged = [this](ControllerLink::State state) {
        if (m_motion == Motion::Moving && state != ControllerLink::State::Connected)
            endMove(Motion::Failed, tr("The controller stopped answering during the move."));
        changed();
    };
}

FocuserSession::~FocuserSession()
{
    m_link.onFact = nullptr;
    m_link.onStateChanged = nullptr;
}

bool FocuserSession::hasLens() const
{
    return m_link.state() == ControllerLink::State::Connected && !m_link.record().lensAbsent;
}

FocusScale FocuserSession::scale() const
{
    const DeviceRecord& record = m_link.record();
    return record.focusFar && record.focusNear ? FocusScale(*record.focusFar, *record.focusNear) : FocusScale();
}

bool FocuserSession::hasPosition() const { return m_link.record().focus.has_value() && hasFocusRange(); }

int FocuserSession::position() const { return hasPosition() ? scale().positionOf(*m_link.record().focus) : 0; }

bool FocuserSession::checkLens(QString* why) const
{
    switch (m_link.state()) {
    case ControllerLink::State::Connected:
        break;
    case ControllerLink::State::Lost:
        return refuse(why, tr("The controller at %1 does not answer.").arg(m_link.address()));
    default:
        return refuse(why, tr("No controller is connected."));
    }
    if (m_link.record().lensAbsent)
        return refuse(why, tr("The controller sees no lens."));
    return true;
}

bool FocuserSession::checkFocusRequest(QString* why) const
{
    if (!checkLens(why))
        return false;
    if (!hasFocusRange())
        return refuse(why, tr("The lens has not reported its focus range yet."));
    if (m_motion == Motion::Moving)
        return refuse(why, tr("A focus move is under way; halt it first."));
    return true;
}

bool FocuserSession::moveTo(int position, qint64 now, QString* why)
{
    if (!checkFocusRequest(why))
        return false;
    const FocusScale focusScale = scale();
    if (!focusScale.contains(position))
        return refuse(why, tr("Position %1 is outside 0 to %2.").arg(position).arg(focusScale.maxStep()));
    return startMove(focusScale.countFor(position), now);
}

bool FocuserSession::moveBy(int steps, qint64 now, QString* why)
{
    if (!checkFocusRequest(why))
        return false;
    if (!hasPosition())
        return refuse(why, tr("The lens has not reported its focus position yet."));
    // In 64 bits: a step count from a client may be anything.
    const FocusScale focusScale = scale();
    const qint64 target = qBound(qint64(0), qint64(position()) + steps, qint64(focusScale.maxStep()));
    return startMove(focusScale.countFor(int(target)), now);
}

bool FocuserSession::startMove(int count, qint64 now)
{
    m_confirmation = MoveConfirmation(MoveConfirmation::Await::FocusDone);
    m_moveLimitAt = now + LensWaits::MoveConfirmTimeoutMs;
    m_motion = Motion::Moving;
    m_motionMessage.clear();
    m_link.send(QString::fromLatin1(Protocol::Command::SetFocus).arg(count));
    changed();
    return true;
}

void FocuserSession::halt()
{
    if (!m_link.isOpen())
        return;
    m_link.send(QLatin1String(Protocol::Command::StopFocus));
    if (m_motion == Motion::Moving)
        endMove(Motion::Idle, tr("Halted."));
}

void FocuserSession::endMove(Motion motion, const QString& message)
{
    m_motion = motion;
    m_motionMessage = message;
    m_moveLimitAt = -1;
    changed();
}

void FocuserSession::noteFact(const ReplyFact& fact)
{
    if (m_motion == Motion::Moving) {
        m_confirmation.note(fact.kind);
        if (m_confirmation.isComplete()) {
            if (m_confirmation.endedWithError())
                endMove(Motion::Failed, tr("The controller refused the move: %1").arg(m_link.record().lastError));
            else
                endMove(Motion::Idle, QString());
            return;
        }
    }
    if (isObservable(fact.kind))
        changed();
}

qint64 FocuserSession::advance(qint64 now)
{
    const qint64 linkDeadline = m_link.advance(now);
    if (m_motion == Motion::Moving && now >= m_moveLimitAt)
        endMove(Motion::Failed,
                tr("The controller did not confirm the move within %1 s.").arg(LensWaits::MoveConfirmTimeoutMs / 1000));
    if (m_motion != Motion::Moving)
        return linkDeadline;
    return linkDeadline < 0 ? m_moveLimitAt : qMin(linkDeadline, m_moveLimitAt);
}

QVector<float> FocuserSession::fNumbers() const
{
    const DeviceRecord& record = m_link.record();
    QVector<float> allowed;
    if (!record.widestFNumber || !record.narrowestFNumber)
        return allowed;
    for (float fNumber : FNumbers::table()) {
        if (fNumber >= *record.widestFNumber && fNumber <= *record.narrowestFNumber
            && (allowed.isEmpty() || allowed.last() != fNumber))
            allowed << fNumber;
    }
    return allowed;
}

bool FocuserSession::setFNumber(float fNumber, QString* why)
{
    if (!checkLens(why))
        return false;
    const QVector<float> allowed = fNumbers();
    if (allowed.isEmpty())
        return refuse(why, tr("The lens has no aperture to set."));
    // Compared as written: 5.6 is the scale's 5.6 whatever the client's
    // floating-point type made of it.
    const QString written = FNumbers::shortest(double(fNumber));
    for (float listed : allowed) {
        if (FNumbers::shortest(double(listed)) == written) {
            m_link.send(QString::fromLatin1(Protocol::Command::SetAperture).arg(written));
            return true;
        }
    }
    return refuse(
        why,
        tr("f/%1 is not one of this lens's f-numbers (f/%2 to f/%3).")
            .arg(written, FNumbers::shortest(double(allowed.first())), FNumbers::shortest(double(allowed.last()))));
}

std::optional<float> FocuserSession::fNumber() const { return m_link.record().fNumber; }

bool FocuserSession::hasPowerZoom() const { return m_link.record().isPowerZoom(); }

std::optional<std::pair<int, int>> FocuserSession::zoomRange() const
{
    const DeviceRecord& record = m_link.record();
    if (!record.zoomWide || !record.zoomTele)
        return std::nullopt;
    return std::make_pair(*record.zoomWide, *record.zoomTele);
}

bool FocuserSession::setZoom(int millimetres, QString* why)
{
    if (!checkLens(why))
        return false;
    if (!hasPowerZoom())
        return refuse(why, tr("The %1 has no power zoom.").arg(m_link.record().product));
    const auto range = zoomRange();
    if (range && (millimetres < range->first || millimetres > range->second))
        return refuse(why,
                      tr("%1 mm is outside the lens's zoom range, %2 to %3 mm.")
                          .arg(millimetres)
                          .arg(range->first)
                          .arg(range->second));
    m_link.send(QString::fromLatin1(Protocol::Command::SetZoom).arg(millimetres));
    return true;
}

std::optional<int> FocuserSession::zoom() const { return m_link.record().zoom; }

bool FocuserSession::hasStabiliser() const
{
    return m_link.record().stabiliser.value_or(false) && m_link.verdict().stabiliserSwitch;
}

std::optional<bool> FocuserSession::stabiliserActive() const { return m_link.record().stabiliserActive; }

bool FocuserSession::setStabiliser(bool on, QString* why)
{
    if (!checkLens(why))
        return false;
    if (!m_link.verdict().stabiliserSwitch)
        return refuse(why, tr("Firmware %1 cannot switch the stabiliser.").arg(m_link.record().firmware.trimmed()));
    if (!hasStabiliser())
        return refuse(why, tr("The lens has no stabiliser."));
    const int seconds = on ? Protocol::Limits::StabiliserMaximumSeconds : 0;
    m_link.send(QString::fromLatin1(Protocol::Command::EnableStabiliser).arg(seconds));
    return true;
}

bool FocuserSession::reinitialiseFocus(QString* why)
{
    if (!checkLens(why))
        return false;
    if (m_motion == Motion::Moving)
        return refuse(why, tr("A focus move is under way; halt it first."));
    m_link.send(QLatin1String(Protocol::Command::FocusReInit));
    return true;
}

QString FocuserSession::lensDescription() const { return m_link.record().lensDescription; }

QString FocuserSession::identityDescription() const
{
    const DeviceRecord& record = m_link.record();
    const auto known = [](const QString& text) { return text.isEmpty() ? tr("unknown") : text; };
    return tr("%1, firmware %2, S/N %3, MAC %4")
        .arg(known(record.product), known(record.firmware.trimmed()), known(record.serial), known(record.mac));
}

void FocuserSession::changed()
{
    if (onChanged)
        onChanged();
}
