#pragma once

#include "indi/EventLoopHook.h"
#include "indi/FocuserProperties.h"
#include "indi/LensRequests.h"
#include "link/ControllerLink.h"

#include <indifocuser.h>

#include <QCoreApplication>

#include <memory>
#include <optional>

class FocuserSession;
class UdpConnection;

// indi_lensdesk_focus: one lens controller as an INDI focuser. INDI runs the
// driver on one thread inside its own event loop; the controller's replies
// and the deadlines of the link and the focuser (probes, pings, the move's
// time limit) reach it through that loop (EventLoopHook), and nothing in the
// driver waits.
//
// Connecting (INDI's network connection, UDP, the controller's port 1339)
// identifies the controller with the panel's own exchange and refusals; it
// never moves the lens. CONNECTION is Busy while the controller is
// identified, Ok once it is, Alert while it does not answer. A controller
// that stops answering (the panel's liveness rule) is pinged at the slower
// pace until it answers; it is then identified again and the driver carries
// on at the position it reports. A refused identification ends the
// connection (Alert, with the reason in the log).
//
// The focuser's positions 0 to FOCUS_MAX are the lens's focus range
// (FocusScale); the focuser, its moves and the lens's extras are a
// FocuserSession on the link. Properties are reached only through
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

    // INDI's handshake: opens the link and starts the identification, and
    // returns at once.
    bool openLink();
    void closeLink();
    // From INDI's loop: the link's descriptor is readable, or the deadline
    // has come. Both advance the session and show what changed; the
    // deadline also ends a refused connection.
    void readReplies();
    void deadlineReached();
    // Advances the session (and its link), shows what changed and waits for
    // the next deadline; after every request too.
    void advance();
    // A request refused by the session: logged, and false for the caller.
    bool refused(const QString& why);
    // Shows the session's state in the properties, and logs what a client
    // should know (identification, refusal, loss, a failed move).
    void publish();
    void noteLinkState(ControllerLink::State state);
    IPState focusState() const;

    FocuserProperties m_properties;
    UdpConnection* m_connection = nullptr;
    EventLoopHook m_loop;
    std::unique_ptr<ControllerLink> m_link;
    std::unique_ptr<FocuserSession> m_session;
    ControllerLink::State m_shownLinkState = ControllerLink::State::Disconnected;
    // Identified at least once since INDI connected: a later loss is a loss,
    // not a failed connection.
    bool m_wasIdentified = false;
    // The last move failed while the controller answered (an error reply, the
    // time limit); it shows until the next move. A move cut short by a loss
    // shows through the link's state instead, and clears when the controller
    // answers again.
    bool m_moveFailed = false;
    bool m_wasMoving = false;
    std::optional<IPState> m_shownFocusState;
    // A refusal seen inside a callback of the link: the link is closed once
    // its call has returned.
    bool m_refusalPending = false;
};
