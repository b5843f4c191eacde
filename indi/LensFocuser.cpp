#include "indi/LensFocuser.h"

#include "indi/UdpConnection.h"

#include <cstring>

LensFocuser::LensFocuser()
    : m_properties(*this, *this)
{
    setVersion(LENSDESK_VERSION_MAJOR, LENSDESK_VERSION_MINOR);
    SetCapability(FOCUSER_CAN_ABS_MOVE | FOCUSER_CAN_REL_MOVE | FOCUSER_CAN_ABORT);
    // The network connection is the driver's own (UdpConnection).
    setSupportedConnections(CONNECTION_NONE);
}

LensFocuser::~LensFocuser() = default;

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
    if (isConnected())
        m_properties.connected();
    else
        m_properties.disconnected();
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

IPState LensFocuser::MoveAbsFocuser(uint32_t) { return IPS_ALERT; }

IPState LensFocuser::MoveRelFocuser(FocusDirection, uint32_t) { return IPS_ALERT; }

bool LensFocuser::AbortFocuser() { return false; }

bool LensFocuser::SetFocuserMaxPosition(uint32_t)
{
    LOG_ERROR(qUtf8Printable(tr("The maximum is the lens's focus range and cannot be set.")));
    return false;
}

bool LensFocuser::saveConfigItems(FILE* fp)
{
    // The connection and the presets; the focuser's own items would store the
    // maximum, which belongs to the lens.
    INDI::DefaultDevice::saveConfigItems(fp);
    m_properties.saveConfigItems(fp);
    return true;
}

bool LensFocuser::requestFNumber(double) { return false; }

bool LensFocuser::requestZoom(double) { return false; }

bool LensFocuser::requestStabiliser(bool) { return false; }

bool LensFocuser::requestFocusReinitialisation() { return false; }

bool LensFocuser::openLink() { return false; }

void LensFocuser::closeLink() { m_loop.release(); }
