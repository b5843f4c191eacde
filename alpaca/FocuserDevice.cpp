#include "alpaca/FocuserDevice.h"

#include "alpaca/AlpacaErrors.h"
#include "alpaca/FocuserActions.h"

#include <QJsonArray>
#include <QJsonObject>

FocuserDevice::FocuserDevice(std::unique_ptr<AlpacaFocuser> focuser)
    : m_focuser(std::move(focuser))
{ }

QString FocuserDevice::name() const
{
    const AlpacaFocuser::Identity identity = m_focuser->identity();
    if (!identity.name.trimmed().isEmpty())
        return identity.name.trimmed();
    if (!identity.product.isEmpty())
        return identity.product;
    return tr("Lens controller %1").arg(m_focuser->address());
}

QString FocuserDevice::description() const
{
    const AlpacaFocuser::Identity identity = m_focuser->identity();
    if (identity.product.isEmpty())
        return tr("Lens controller at %1").arg(m_focuser->address());
    return tr("%1 lens controller at %2, firmware %3")
        .arg(identity.product, m_focuser->address(), identity.firmware.trimmed());
}

bool FocuserDevice::isUsable() const
{
    return m_clientConnected && m_focuser->link() == AlpacaFocuser::Link::Connected;
}

std::optional<AlpacaResult> FocuserDevice::notConnected() const
{
    if (!m_clientConnected)
        return AlpacaResult::failure(AlpacaError::NotConnected, tr("Not connected: connect to the device first."));
    if (m_focuser->link() != AlpacaFocuser::Link::Connected)
        return AlpacaResult::failure(AlpacaError::NotConnected,
                                     tr("The controller at %1 does not answer.").arg(m_focuser->address()));
    return std::nullopt;
}

std::optional<AlpacaResult> FocuserDevice::notReadyToFocus() const
{
    if (const std::optional<AlpacaResult> refusal = notConnected())
        return refusal;
    if (!m_focuser->hasFocusRange())
        return AlpacaResult::failure(AlpacaError::InvalidOperation,
                                     tr("The controller reports no lens with a focus range."));
    return std::nullopt;
}

AlpacaResult FocuserDevice::connected() const { return AlpacaResult::of(isUsable()); }

AlpacaResult FocuserDevice::setConnected(bool on)
{
    m_clientConnected = on;
    if (on && m_focuser->link() != AlpacaFocuser::Link::Connected
        && m_focuser->link() != AlpacaFocuser::Link::Identifying)
        m_focuser->reconnect();
    return AlpacaResult::done();
}

std::optional<AlpacaResult> FocuserDevice::connectOutcome() const
{
    switch (m_focuser->link()) {
    case AlpacaFocuser::Link::Identifying:
        return std::nullopt;
    case AlpacaFocuser::Link::Connected:
        return AlpacaResult::done();
    default:
        break;
    }
    const QString problem = m_focuser->linkProblem();
    return AlpacaResult::failure(
        AlpacaError::ControllerUnreachable,
        problem.isEmpty() ? tr("The controller at %1 does not answer.").arg(m_focuser->address()) : problem);
}

AlpacaResult FocuserDevice::connect() { return setConnected(true); }

AlpacaResult FocuserDevice::connecting() const
{
    return AlpacaResult::of(m_clientConnected && m_focuser->link() == AlpacaFocuser::Link::Identifying);
}

AlpacaResult FocuserDevice::deviceState(const QDateTime& now)
{
    if (const std::optional<AlpacaResult> refusal = notConnected())
        return *refusal;
    m_focuser->catchUp();
    const auto entry = [](const char* name, const QJsonValue& value) {
        return QJsonObject{{QStringLiteral("Name"), QLatin1String(name)}, {QStringLiteral("Value"), value}};
    };
    QJsonArray state{entry("IsMoving", m_focuser->motion() == AlpacaFocuser::Motion::Moving)};
    if (m_focuser->hasFocusRange())
        state.append(entry("Position", m_focuser->position()));
    state.append(entry("TimeStamp", now.toUTC().toString(Qt::ISODateWithMs)));
    return AlpacaResult::of(state);
}

AlpacaResult FocuserDevice::action(const QString& name, const QString& parameters)
{
    const FocuserActions::Action* action = FocuserActions::find(name);
    if (!action)
        return AlpacaResult::failure(
            AlpacaError::ActionNotImplemented,
            tr("No action \"%1\"; the actions are: %2.").arg(name, FocuserActions::names().join(QStringLiteral(", "))));
    if (const std::optional<AlpacaResult> refusal = notConnected())
        return *refusal;
    return action->run(*m_focuser, parameters);
}

AlpacaResult FocuserDevice::isMoving()
{
    if (const std::optional<AlpacaResult> refusal = notConnected())
        return *refusal;
    m_focuser->catchUp();
    switch (m_focuser->motion()) {
    case AlpacaFocuser::Motion::Moving:
        return AlpacaResult::of(true);
    case AlpacaFocuser::Motion::Failed:
        if (m_moveOutstanding) {
            m_moveOutstanding = false;
            return AlpacaResult::failure(AlpacaError::ControllerFailed, m_focuser->motionMessage());
        }
        break;
    case AlpacaFocuser::Motion::Idle:
        break;
    }
    m_moveOutstanding = false;
    return AlpacaResult::of(false);
}

AlpacaResult FocuserDevice::maxStep() const
{
    if (const std::optional<AlpacaResult> refusal = notReadyToFocus())
        return *refusal;
    return AlpacaResult::of(m_focuser->maxStep());
}

AlpacaResult FocuserDevice::position() const
{
    if (const std::optional<AlpacaResult> refusal = notReadyToFocus())
        return *refusal;
    return AlpacaResult::of(m_focuser->position());
}

AlpacaResult FocuserDevice::move(int position)
{
    if (const std::optional<AlpacaResult> refusal = notReadyToFocus())
        return *refusal;
    if (position < 0 || position > m_focuser->maxStep())
        return AlpacaResult::failure(AlpacaError::InvalidValue,
                                     tr("Position %1 is outside 0 to %2.").arg(position).arg(m_focuser->maxStep()));
    QString why;
    if (!m_focuser->moveTo(position, &why))
        return AlpacaResult::failure(AlpacaError::InvalidOperation, why);
    m_moveOutstanding = true;
    return AlpacaResult::done();
}

AlpacaResult FocuserDevice::halt()
{
    if (const std::optional<AlpacaResult> refusal = notConnected())
        return *refusal;
    m_focuser->halt();
    m_moveOutstanding = false;
    return AlpacaResult::done();
}
