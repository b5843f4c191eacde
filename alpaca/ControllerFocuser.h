#pragma once

#include "alpaca/AlpacaFocuser.h"
#include "lens/FocuserSession.h"
#include "link/ControllerLink.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>

class LinkPump;

// One lens controller as the server's focuser: a ControllerLink of its own
// (command socket, connection exchange, liveness pings, re-identification
// after a loss), the FocuserSession on it for focus, moves and the lens
// extras, and a LinkPump that drives both from the controller thread's event
// loop. Nothing is shared with the other controllers.
//
// Identified is not yet ready: the controller volunteers its lens reports
// (focus range, positions) about 300 ms after it identifies itself, and a
// client reads the position as soon as it has connected. So the focuser
// counts as Identifying until those reports have come, or LensReportWaitMs
// have passed without them.
//
// The link is started at once. A controller that does not answer its
// identification (off, or not yet on the network) is asked again after
// RetryFirstMs, then after twice as long each time up to RetryMostMs, until
// it answers; a client's connect asks at once. A controller that answered
// once and falls silent is pinged by its link and re-identified when it
// speaks again. Firmware too old to be driven is not asked again until a
// client connects. None of this moves the lens: only a client's move does.
//
// Controller thread only.
class ControllerFocuser final : public AlpacaFocuser
{
    Q_DECLARE_TR_FUNCTIONS(ControllerFocuser)

public:
    static constexpr int RetryFirstMs = 2000;
    static constexpr int RetryMostMs = 60000;
    static constexpr int LensReportWaitMs = 2000;

    explicit ControllerFocuser(const QString& address);
    ~ControllerFocuser() override;

    QString address() const override { return m_link.address(); }
    Link link() const override;
    QString linkProblem() const override;
    void reconnect() override;
    Identity identity() const override;
    QString lensDescription() const override { return m_session.lensDescription(); }

    bool hasFocusRange() const override { return m_session.hasFocusRange(); }
    int position() const override { return m_session.position(); }
    int maxStep() const override { return m_session.maxStep(); }
    Motion motion() const override;
    QString motionMessage() const override { return m_session.motionMessage(); }
    void catchUp() override;
    bool moveTo(int position, QString* why) override;
    void halt() override;

    QVector<float> fNumbers() const override { return m_session.fNumbers(); }
    std::optional<float> fNumber() const override { return m_session.fNumber(); }
    bool setFNumber(float fNumber, QString* why) override { return m_session.setFNumber(fNumber, why); }
    bool hasPowerZoom() const override { return m_session.hasPowerZoom(); }
    std::optional<std::pair<int, int>> zoomRange() const override { return m_session.zoomRange(); }
    std::optional<int> zoom() const override { return m_session.zoom(); }
    bool setZoom(int millimetres, QString* why) override { return m_session.setZoom(millimetres, why); }
    bool hasStabiliser() const override { return m_session.hasStabiliser(); }
    bool setStabiliser(bool on, QString* why) override { return m_session.setStabiliser(on, why); }

private:
    // Opens the link's socket if it is not open yet (with a pump on it) and
    // starts the connection exchange; without a socket, plans a retry.
    void attempt(qint64 now);
    void planRetry(qint64 now);
    // What the pump calls at every deadline: the session (and its link), and
    // a retry when one is due.
    qint64 advance(qint64 now);
    void noteChange();

    // In this order: the pump goes before the session and the link it drives.
    ControllerLink m_link;
    FocuserSession m_session;
    std::unique_ptr<LinkPump> m_pump;
    QTimer m_openRetry;
    qint64 m_retryAt = -1;
    int m_retryDelayMs = RetryFirstMs;
    qint64 m_identifiedAt = -1;
};
