#pragma once

#include "indi/EventLoopHook.h"
#include "indi/FocuserProperties.h"
#include "indi/LensRequests.h"

#include <indifocuser.h>

#include <QCoreApplication>

class UdpConnection;

// indi_lensdesk_focus: one lens controller as an INDI focuser. INDI runs the
// driver on one thread inside its own event loop; the controller's replies
// and the link's deadlines reach it through that loop (EventLoopHook), and
// nothing in the driver waits.
//
// Connecting (INDI's network connection, UDP, the controller's port 1339)
// identifies the controller with the panel's own exchange and refusals; it
// never moves the lens. The focuser's positions 0 to FOCUS_MAX are the
// lens's focus range (FocusScale). Properties are reached only through
// FocuserProperties.
class LensFocuser : public INDI::Focuser, private LensRequests
{
    Q_DECLARE_TR_FUNCTIONS(LensFocuser)

public:
    LensFocuser();
    ~LensFocuser() override;

    const char* getDefaultName() override;
    bool initProperties() override;
    bool updateProperties() override;
    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) override;
    bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) override;

protected:
    bool Disconnect() override;
    IPState MoveAbsFocuser(uint32_t targetTicks) override;
    IPState MoveRelFocuser(FocusDirection direction, uint32_t ticks) override;
    bool AbortFocuser() override;
    bool SetFocuserMaxPosition(uint32_t ticks) override;
    bool saveConfigItems(FILE* fp) override;

private:
    friend class FocuserProperties;

    bool requestFNumber(double fNumber) override;
    bool requestZoom(double millimetres) override;
    bool requestStabiliser(bool on) override;
    bool requestFocusReinitialisation() override;

    // INDI's handshake: starts the identification and returns at once.
    bool openLink();
    void closeLink();

    FocuserProperties m_properties;
    UdpConnection* m_connection = nullptr;
    EventLoopHook m_loop;
};
