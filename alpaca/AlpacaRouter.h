#pragma once

#include "alpaca/AlpacaResult.h"
#include "alpaca/HttpReply.h"

#include <QCoreApplication>
#include <QString>

#include <atomic>

struct AlpacaRequest;
class AlpacaParameters;
class ControllerBridge;
class FocuserDevices;

// Answers every HTTP request of the server:
//   /management/apiversions, /management/v1/description,
//   /management/v1/configureddevices      (GET)
//   /api/v1/focuser/N/MEMBER              (GET or PUT, see FocuserMembers)
//   /setup, /setup/v1/focuser/N/setup     (GET, HTML)
//   /setup/search                         (POST: search the LAN again)
// API replies are Alpaca's JSON envelope with the client's transaction
// number echoed and the server's counting up; a request the server cannot
// interpret (unknown device or member, wrong method, a parameter missing or
// unreadable) gets HTTP 400 with the reason as plain text. Parameter names
// are matched without regard to case: from the query of a GET, from the
// form-encoded body of a PUT.
//
// answer() may be called from any thread: whatever touches a device runs on
// the controller thread through the bridge.
class AlpacaRouter
{
    Q_DECLARE_TR_FUNCTIONS(AlpacaRouter)

public:
    // How long setting "connected" waits for a controller's identification:
    // the identification's own limit and a margin.
    static constexpr int ConnectWaitMs = 7000;

    AlpacaRouter(FocuserDevices& devices, const ControllerBridge& bridge, const QString& location);

    HttpReply answer(const AlpacaRequest& request);

private:
    HttpReply management(const QByteArray& path, const AlpacaParameters& parameters);
    HttpReply deviceMember(const QList<QByteArray>& parts, bool put, const AlpacaParameters& parameters);
    HttpReply setup(const AlpacaRequest& request);
    AlpacaResult awaitConnection(int number);
    HttpReply envelope(const AlpacaResult& result, quint32 clientTransactionId);
    static HttpReply threadBusy();

    FocuserDevices& m_devices;
    const ControllerBridge& m_bridge;
    QString m_location;
    std::atomic<quint32> m_serverTransactionId{0};
};
