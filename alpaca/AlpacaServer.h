#pragma once

#include "alpaca/AlpacaOptions.h"
#include "alpaca/FocuserDevices.h"

#include <QObject>

#include <memory>

class AlpacaDiscovery;
class AlpacaHttpServer;
class AlpacaRouter;
class ControllerBridge;
class DeviceNumbers;

// The whole server on the thread that creates it, the controller thread:
// the devices of the controllers named and found, the HTTP API on worker
// threads of its own handing every request to this thread, and discovery.
// Destroyed, it stops accepting and waits for the workers first.
class AlpacaServer : public QObject
{
    Q_OBJECT

public:
    // How long an HTTP worker waits for the controller thread.
    static constexpr int ControllerThreadLimitMs = 5000;

    AlpacaServer(const AlpacaOptions& options, DeviceNumbers& numbers, FocuserDevices::FocuserFactory factory,
                 QObject* parent = nullptr);
    ~AlpacaServer() override;

    // Listens, answers discovery, serves the controllers and starts the
    // first search. False with the reason when the HTTP port cannot be
    // had; without the discovery port it warns and serves all the same.
    bool start(QString* error);
    quint16 httpPort() const;
    quint16 discoveryPort() const;
    FocuserDevices& devices() { return m_devices; }

signals:
    void warning(const QString& text);

private:
    AlpacaOptions m_options;
    FocuserDevices m_devices;
    std::unique_ptr<ControllerBridge> m_bridge;
    std::unique_ptr<AlpacaRouter> m_router;
    std::unique_ptr<AlpacaHttpServer> m_http;
    std::unique_ptr<AlpacaDiscovery> m_discovery;
};
