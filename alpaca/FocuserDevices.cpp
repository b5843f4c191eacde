#include "alpaca/FocuserDevices.h"

#include "alpaca/DeviceNumbers.h"
#include "alpaca/FocuserDevice.h"
#include "discovery/LanSearch.h"

#include <QHostAddress>

FocuserDevices::FocuserDevices(DeviceNumbers& numbers, FocuserFactory factory, QObject* parent)
    : QObject(parent)
    , m_numbers(numbers)
    , m_factory(std::move(factory))
{
    connect(&m_reviewTimer, &QTimer::timeout, this, &FocuserDevices::review);
    m_reviewTimer.start(ReviewPeriodMs);
}

FocuserDevices::~FocuserDevices() = default;

void FocuserDevices::addController(const QString& address)
{
    for (const Controller& controller : m_controllers) {
        if (controller.device->focuser().address() == address)
            return;
    }
    Controller controller;
    controller.device = std::make_unique<FocuserDevice>(m_factory(address));
    // Listed at once under the number it had at this address, unless that
    // controller is served elsewhere already.
    const QString knownId = m_numbers.uniqueIdAt(address);
    bool servedElsewhere = false;
    for (const Controller& other : m_controllers)
        servedElsewhere = servedElsewhere || other.uniqueId == knownId;
    if (!knownId.isEmpty() && !servedElsewhere) {
        controller.uniqueId = knownId;
        controller.number = *m_numbers.knownNumber(knownId);
        controller.provisional = true;
    }
    m_controllers.push_back(std::move(controller));
}

bool FocuserDevices::startSearch()
{
    if (!m_searchAllowed || m_search)
        return false;
    m_search = new LanSearch(this);
    m_search->probeEverywhere([this](const QString& address, bool bound) {
        if (!bound)
            tellWarning(tr("Cannot search from %1: no port from 60000 to 65000 is free there.").arg(address));
    });
    QTimer::singleShot(LanSearch::ListeningWindowMs, this, &FocuserDevices::finishSearch);
    return true;
}

void FocuserDevices::finishSearch()
{
    for (const SearchResults::Responder& responder : m_search->takeReplies())
        addController(responder.address);
    m_search->deleteLater();
    m_search = nullptr;
    emit searchFinished();
}

std::vector<FocuserDevices::Entry> FocuserDevices::entries() const
{
    std::vector<Entry> list;
    for (const Controller& controller : m_controllers)
        list.push_back({controller.device.get(), controller.number, controller.uniqueId, controller.duplicateOf});
    return list;
}

FocuserDevice* FocuserDevices::device(int number)
{
    for (Controller& controller : m_controllers) {
        if (number >= 0 && controller.number == number)
            return controller.device.get();
    }
    return nullptr;
}

QString FocuserDevices::identifiedUniqueId(Controller& controller) const
{
    const AlpacaFocuser& focuser = controller.device->focuser();
    if (focuser.link() != AlpacaFocuser::Link::Connected) {
        controller.connectedFor.invalidate();
        return QString();
    }
    if (!controller.connectedFor.isValid())
        controller.connectedFor.start();
    const AlpacaFocuser::Identity identity = focuser.identity();
    const QString fromMac = DeviceNumbers::uniqueIdOf(identity.mac, QString());
    if (!fromMac.isEmpty() || controller.connectedFor.elapsed() < MacWaitMs)
        return fromMac;
    return DeviceNumbers::uniqueIdOf(QString(), identity.serial);
}

void FocuserDevices::review()
{
    for (Controller& controller : m_controllers) {
        tellLink(controller);
        const QString uniqueId = identifiedUniqueId(controller);
        if (uniqueId.isEmpty() || (uniqueId == controller.uniqueId && !controller.provisional))
            continue;
        list(controller, uniqueId);
    }
}

void FocuserDevices::list(Controller& controller, const QString& uniqueId)
{
    // The same controller served twice (two addresses that reach it) is
    // listed once.
    for (const Controller& other : m_controllers) {
        if (&other != &controller && other.uniqueId == uniqueId && !other.provisional) {
            controller.number = -1;
            controller.uniqueId = uniqueId;
            controller.provisional = false;
            controller.duplicateOf = other.number;
            return;
        }
    }
    QString warning;
    const int number = m_numbers.numberOf(uniqueId, controller.device->focuser().address(), &warning);
    if (!warning.isEmpty())
        tellWarning(warning);
    // A controller listed under this number from the state file has turned
    // up here: where it was expected, something else (or nothing) answers.
    for (Controller& other : m_controllers) {
        if (&other != &controller && other.number == number) {
            other.number = -1;
            other.uniqueId.clear();
            other.provisional = false;
        }
    }
    controller.number = number;
    controller.uniqueId = uniqueId;
    controller.provisional = false;
    controller.duplicateOf = -1;
}

void FocuserDevices::tellLink(Controller& controller)
{
    const AlpacaFocuser& focuser = controller.device->focuser();
    const AlpacaFocuser::Link link = focuser.link();
    // An identification under way is no news; its outcome is.
    if (link == AlpacaFocuser::Link::Identifying || link == controller.toldLink)
        return;
    controller.toldLink = link;
    const AlpacaFocuser::Identity identity = focuser.identity();
    switch (link) {
    case AlpacaFocuser::Link::Connected:
        emit notice(
            tr("%1: connected, %2 firmware %3.").arg(focuser.address(), identity.product, identity.firmware.trimmed()));
        break;
    case AlpacaFocuser::Link::Lost:
        emit notice(tr("%1: does not answer any more.").arg(focuser.address()));
        break;
    case AlpacaFocuser::Link::Disconnected:
    case AlpacaFocuser::Link::Refused: {
        const QString problem = focuser.linkProblem();
        emit notice(problem.isEmpty() ? tr("%1: not connected.").arg(focuser.address())
                                      : tr("%1: %2").arg(focuser.address(), problem));
        break;
    }
    case AlpacaFocuser::Link::Identifying:
        break;
    }
}

void FocuserDevices::tellWarning(const QString& text)
{
    if (text == m_lastWarning)
        return;
    m_lastWarning = text;
    emit warning(text);
}
