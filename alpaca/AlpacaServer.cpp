#include "alpaca/AlpacaServer.h"

#include "alpaca/AlpacaDiscovery.h"
#include "alpaca/AlpacaHttpServer.h"
#include "alpaca/AlpacaRouter.h"
#include "alpaca/ControllerBridge.h"

#include <QHostAddress>

AlpacaServer::AlpacaServer(const AlpacaOptions& options, DeviceNumbers& numbers, FocuserDevices::FocuserFactory factory,
                           QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_devices(numbers, std::move(factory))
    , m_bridge(std::make_unique<ControllerBridge>(ControllerThreadLimitMs))
    , m_router(std::make_unique<AlpacaRouter>(m_devices, *m_bridge, options.location))
{
    connect(&m_devices, &FocuserDevices::warning, this, &AlpacaServer::warning);
    m_devices.allowSearch(options.search);
}

AlpacaServer::~AlpacaServer()
{
    // Workers waiting for this thread give up at once: it no longer runs
    // their work.
    m_bridge->close();
    m_http.reset();
}

bool AlpacaServer::start(QString* error)
{
    m_http =
        std::make_unique<AlpacaHttpServer>([this](const AlpacaRequest& request) { return m_router->answer(request); });
    if (!m_http->start(m_options.listen, m_options.port, error))
        return false;
    if (m_options.discoveryPort != 0) {
        m_discovery = std::make_unique<AlpacaDiscovery>(m_http->port());
        QString problem;
        if (!m_discovery->start(QHostAddress(m_options.listen), m_options.discoveryPort, &problem)) {
            // The API serves all the same; clients can be given its port.
            emit warning(problem);
            m_discovery.reset();
        }
    }
    for (const QString& controller : m_options.controllers)
        m_devices.addController(controller);
    if (m_options.search)
        m_devices.startSearch();
    return true;
}

quint16 AlpacaServer::httpPort() const { return m_http ? m_http->port() : 0; }

quint16 AlpacaServer::discoveryPort() const { return m_discovery ? m_discovery->port() : 0; }
