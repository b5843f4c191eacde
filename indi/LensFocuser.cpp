#include "indi/LensFocuser.h"

#include "indi/UdpConnection.h"
#include "lens/FocuserSession.h"
#include "link/LinkClock.h"
#include "link/LivenessCount.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {
// A client's step count or position, as the session takes it.
int clampedToInt(uint32_t value) { return int(qMin(value, uint32_t(std::numeric_limits<int>::max()))); }
} // namespace

LensFocuser::LensFocuser()
    : m_properties(*this, *this)
{
    setVersion(LENSDESK_VERSION_MAJOR, LENSDESK_VERSION_MINOR);
    SetCapability(FOCUSER_CAN_ABS_MOVE | FOCUSER_CAN_REL_MOVE | FOCUSER_CAN_ABORT);
    // The network connection is the driver's own (UdpConnection).
    setSupportedConnections(CONNECTION_NONE);
}

LensFocuser::~LensFocuser() { closeLink(); }

const char* LensFocuser::getDefaultName() { return "LensDesk Focuser"; }

bool LensFocuser::initProperties()
{
    INDI::Focuser::initProperties();
    m_connection = new UdpConnection(this);
    m_connection->registerHandshake([this] { return openLink(); });
    registerConnection(m_connection);
    m_properties.initialise();
    addDebugControl();
    return true;
}

bool LensFocuser::updateProperties()
{
    INDI::Focuser::updateProperties();
    if (isConnected()) {
        m_properties.connected();
        publish();
    } else {
        m_properties.disconnected();
    }
    return true;
}

bool LensFocuser::ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n)
{
    if (dev && std::strcmp(dev, getDeviceName()) == 0 && m_properties.handleNumber(name, values, names, n))
        return true;
    return INDI::Focuser::ISNewNumber(dev, name, values, names, n);
}

bool LensFocuser::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n)
{
    if (dev && std::strcmp(dev, getDeviceName()) == 0 && m_properties.handleSwitch(name, states, names, n))
        return true;
    return INDI::Focuser::ISNewSwitch(dev, name, states, names, n);
}

bool LensFocuser::Disconnect()
{
    closeLink();
    return INDI::Focuser::Disconnect();
}

bool LensFocuser::openLink()
{
    closeLink();
    auto link = std::make_unique<ControllerLink>(m_connection->address(), m_connection->controllerPort());
    if (!link->open()) {
        LOG_ERROR(qUtf8Printable(tr("No local UDP port from 60000 to 65000 is free for the controller's answers.")));
        return false;
    }
    m_link = std::move(link);
    m_session = std::make_unique<FocuserSession>(*m_link);
    m_link->onDatagram = [this](const QString& text, bool sent) {
        LOGF_DEBUG("%s %s", sent ? ">" : "<", qUtf8Printable(text));
    };
    m_wasIdentified = false;
    m_moveFailed = false;
    m_wasMoving = false;
    m_shownLinkState = ControllerLink::State::Disconnected;
    m_shownFocusState.reset();
    m_loop.watch(
        int(m_link->descriptor()), [this] { readReplies(); }, [this] { deadlineReached(); });
    LOG_INFO(qUtf8Printable(
        tr("Identifying the controller at %1:%2...").arg(m_link->address()).arg(m_connection->controllerPort())));
    m_link->connectToController(LinkClock::now());
    advance();
    return true;
}

void LensFocuser::closeLink()
{
    m_loop.release();
    // The session lets go of the link's callbacks first.
    m_session.reset();
    m_link.reset();
    m_refusalPending = false;
}

void LensFocuser::readReplies()
{
    if (!m_link || m_refusalPending)
        return;
    m_link->readAvailable(LinkClock::now());
    advance();
}

void LensFocuser::deadlineReached()
{
    if (!m_refusalPending) {
        advance();
        return;
    }
    // Outside the link's calls and the descriptor's callback: the refused
    // connection ends.
    closeLink();
    setConnected(false, IPS_ALERT);
    updateProperties();
}

void LensFocuser::advance()
{
    if (!m_session || m_refusalPending)
        return;
    const qint64 now = LinkClock::now();
    qint64 deadline = m_session->advance(now);
    publish();
    if (m_refusalPending)
        deadline = now;
    m_loop.schedule(deadline, now);
}

void LensFocuser::publish()
{
    if (!m_session)
        return;
    const ControllerLink::State linkState = m_link->state();
    if (linkState != m_shownLinkState)
        noteLinkState(linkState);

    const FocuserSession& session = *m_session;
    if (session.hasFocusRange())
        m_properties.showFocusRange(session.maxStep());
    if (session.hasPosition())
        m_properties.showFocusPosition(session.position());
    const bool moving = session.motion() == FocuserSession::Motion::Moving;
    if (moving) {
        m_moveFailed = false;
    } else if (m_wasMoving && session.motion() == FocuserSession::Motion::Failed) {
        LOG_ERROR(qUtf8Printable(session.motionMessage()));
        m_moveFailed = linkState == ControllerLink::State::Connected;
    }
    m_wasMoving = moving;
    // Only a change of the focuser's own state is shown: the Alert of a
    // request that INDI's focuser or the session refused stays until then.
    const IPState shown = focusState();
    if (shown != m_shownFocusState) {
        m_properties.showFocusState(shown);
        m_shownFocusState = shown;
    }

    m_properties.showApertures(session.fNumbers());
    m_properties.showFNumber(session.fNumber());
    m_properties.showZoomRange(session.hasPowerZoom() ? session.zoomRange() : std::nullopt);
    m_properties.showZoom(session.zoom());
    m_properties.showStabiliser(session.hasStabiliser(), session.stabiliserActive().value_or(false));
    const DeviceRecord& record = m_link->record();
    m_properties.showLensDescription(record.lensAbsent ? tr("No lens") : session.lensDescription());
    m_properties.showIdentity(record.product, record.firmware.trimmed(), record.serial, record.mac);
}

void LensFocuser::noteLinkState(ControllerLink::State state)
{
    using State = ControllerLink::State;
    const QString where = m_link->address();
    switch (state) {
    case State::Identifying:
        if (m_wasIdentified)
            LOG_INFO(qUtf8Printable(tr("The controller at %1 answers again; identifying it.").arg(where)));
        break;
    case State::Connected: {
        const DeviceRecord& record = m_link->record();
        LOG_INFO(qUtf8Printable(
            tr("Connected to the %1, firmware %2, at %3.").arg(record.product, record.firmware.trimmed(), where)));
        m_wasIdentified = true;
        break;
    }
    case State::Lost:
        LOG_WARN(qUtf8Printable(tr("The controller at %1 stopped answering; asking it again every %2 s.")
                                    .arg(where)
                                    .arg(LivenessCount::SlowPeriodMs / 1000)));
        break;
    case State::Refused:
        LOG_ERROR(qUtf8Printable(m_link->refusalText()));
        m_refusalPending = true;
        break;
    case State::Disconnected:
        break;
    }
    m_shownLinkState = state;
    // INDI's own connection stays Ok meanwhile: a device whose connection
    // is Busy or Alert counts as not connected, and could then no longer be
    // disconnected.
    m_properties.showControllerState(state == State::Connected     ? IPS_OK
                                         : state == State::Lost    ? IPS_ALERT
                                         : state == State::Refused ? IPS_ALERT
                                                                   : IPS_BUSY);
}

IPState LensFocuser::focusState() const
{
    using State = ControllerLink::State;
    const State state = m_link->state();
    // Idle until the position is known: a client may move once it is Ok.
    if (!m_wasIdentified || !m_session->hasPosition())
        return IPS_IDLE;
    // Lost, or being identified again after a loss.
    if (state != State::Connected)
        return IPS_ALERT;
    if (m_session->motion() == FocuserSession::Motion::Moving)
        return IPS_BUSY;
    return m_moveFailed ? IPS_ALERT : IPS_OK;
}

bool LensFocuser::refused(const QString& why)
{
    LOG_ERROR(qUtf8Printable(why));
    return false;
}

IPState LensFocuser::MoveAbsFocuser(uint32_t targetTicks)
{
    QString why = tr("No controller is connected.");
    if (!m_session || !m_session->moveTo(clampedToInt(targetTicks), LinkClock::now(), &why)) {
        refused(why);
        return IPS_ALERT;
    }
    advance();
    return IPS_BUSY;
}

IPState LensFocuser::MoveRelFocuser(FocusDirection direction, uint32_t ticks)
{
    // Inward is towards position 0, the lower count of the travel.
    const int steps = direction == FOCUS_INWARD ? -clampedToInt(ticks) : clampedToInt(ticks);
    QString why = tr("No controller is connected.");
    if (!m_session || !m_session->moveBy(steps, LinkClock::now(), &why)) {
        refused(why);
        return IPS_ALERT;
    }
    advance();
    return IPS_BUSY;
}

bool LensFocuser::AbortFocuser()
{
    if (!m_session)
        return refused(tr("No controller is connected."));
    m_session->halt(LinkClock::now());
    advance();
    return true;
}

bool LensFocuser::SetFocuserMaxPosition(uint32_t)
{
    return refused(tr("The maximum is the lens's focus range and cannot be set."));
}

bool LensFocuser::saveConfigItems(FILE* fp)
{
    // The connection and the presets; the focuser's own items would store the
    // maximum, which belongs to the lens.
    INDI::DefaultDevice::saveConfigItems(fp);
    m_properties.saveConfigItems(fp);
    return true;
}

bool LensFocuser::requestFNumber(double fNumber)
{
    QString why = tr("No controller is connected.");
    if (!m_session || !m_session->setFNumber(float(fNumber), &why))
        return refused(why);
    advance();
    return true;
}

bool LensFocuser::requestZoom(double millimetres)
{
    QString why = tr("No controller is connected.");
    if (!std::isfinite(millimetres))
        return refused(tr("The focal length must be a number of millimetres."));
    const int rounded = int(std::lround(qBound(-1e6, millimetres, 1e6)));
    if (!m_session || !m_session->setZoom(rounded, &why))
        return refused(why);
    advance();
    return true;
}

bool LensFocuser::requestStabiliser(bool on)
{
    QString why = tr("No controller is connected.");
    if (!m_session || !m_session->setStabiliser(on, &why))
        return refused(why);
    advance();
    return true;
}

bool LensFocuser::requestFocusReinitialisation()
{
    QString why = tr("No controller is connected.");
    if (!m_session || !m_session->reinitialiseFocus(&why))
        return refused(why);
    advance();
    return true;
}
