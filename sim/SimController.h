#pragma once

#include "sim/CommandPort.h"
#include "sim/DeviceIdentity.h"
#include "sim/FaultInjector.h"
#include "sim/LensMotion.h"
#include "sim/SimOptions.h"
#include "sim/TftpServer.h"

#include <QList>
#include <QObject>
#include <QTimer>

class SimLog;
struct SimCommand;

// The simulated controller as a whole: reads each command from the command
// port and hands it to the part that knows the word (identity, lens), and
// runs the device's life cycle: restarts with their silence, the address
// change that takes effect at a restart, the update mode with its TFTP
// server, and silence on request.
class SimController : public QObject
{
    Q_OBJECT
public:
    SimController(const SimOptions& options, SimLog& log, QObject* parent = nullptr);

    // Binds the command port; false (with the reason logged) when it cannot.
    bool start();
    void toggleSilence();

private:
    enum class Mode { Normal, Update };

    void onCommand(const QByteArray& datagram, const Peer& peer, const QHostAddress& localAddress);
    bool handleLifeCycle(const SimCommand& command, const Peer& peer);
    void scheduleLensReports(const Peer& peer);
    void restart(const QString& reason);
    void comeBack();
    void onImage(const QByteArray& image);
    void setSilent(bool on, const QString& reason);
    void updateMute();

    SimOptions m_options;
    SimLog& m_log;
    FaultInjector m_faults;
    CommandPort m_port;
    DeviceIdentity m_identity;
    LensMotion m_lens;
    TftpServer m_tftp;
    Mode m_mode = Mode::Normal;
    bool m_restarting = false;
    bool m_silent = false;
    bool m_waitingForImage = false;
    QTimer m_restartTimer;
    QTimer m_lensReportTimer;
    Peer m_lensReportPeer;
};
