// libFuzzer target: the bytes a client sends on one connection to the
// Alpaca server, read by the HTTP library within the server's bounds
// (ConnectionStream) and answered by the router, on two controllers as the
// devices see them (one connected and listed, one that never answered).
// Whatever comes in, every request gets an HTTP answer or the connection
// ends, and the server takes the next connection as before.
#include "ScriptedDevices.h"

#include "alpaca/AlpacaHttpServer.h"
#include "alpaca/ConnectionStream.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// A connection whose client has sent `input` and then closed its side.
class MemoryConnection final : public ConnectionStream
{
public:
    explicit MemoryConnection(const QByteArray& input)
        : ConnectionStream({AlpacaHttpServer::RequestTimeMs, AlpacaHttpServer::RequestBytes})
        , m_input(input)
    { }

    bool awaitRequest(const std::function<bool()>&) override { return m_read < m_input.size(); }
    bool is_readable() const override { return m_read < m_input.size(); }
    bool is_writable() const override { return true; }
    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        ip = "127.0.0.1";
        port = 11111;
    }
    int socket() const override { return -1; }

    const QByteArray& output() const { return m_output; }

protected:
    ssize_t receive(char* data, size_t size, const QDeadlineTimer&) override
    {
        const int count = std::min(int(size), m_input.size() - m_read);
        std::memcpy(data, m_input.constData() + m_read, size_t(count));
        m_read += count;
        return count;
    }
    ssize_t send(const char* data, size_t size) override
    {
        m_output.append(data, int(size));
        return ssize_t(size);
    }

private:
    QByteArray m_input;
    int m_read = 0;
    QByteArray m_output;
};

struct Server
{
    ScriptedDevices devices;
    AlpacaHttpServer http{[this](const AlpacaRequest& request) { return devices.router().answer(request); }};

    Server()
    {
        ScriptedFocuser* first = devices.add(QStringLiteral("127.0.0.1"), QStringLiteral("2-0-0-17-34-51"));
        first->facts.product = QStringLiteral("ORVO KX-MQTR");
        first->lens = QStringLiteral("EF-S18-55mm f/3.5-5.6 IS");
        first->lensFNumbers = {3.5f, 4.0f, 5.6f, 8.0f, 22.0f};
        first->currentFNumber = 5.6f;
        first->powerZoom = true;
        first->lensZoomRange = std::make_pair(18, 55);
        first->currentZoom = 35;
        first->stabiliser = true;
        ScriptedFocuser* silent = devices.add(QStringLiteral("127.0.0.2"), QString());
        silent->linkState = AlpacaFocuser::Link::Lost;
        silent->afterReconnect = AlpacaFocuser::Link::Lost;
        devices.devices().review();
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Server server;
    MemoryConnection connection(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    server.http.serve(connection);
    // Something that reads as a request line gets an answer.
    const QByteArray& output = connection.output();
    if (!output.isEmpty() && !output.startsWith("HTTP/1.1 "))
        std::abort();
    // A moving focuser stops moving for the next input, as a controller would
    // confirm the move; its log of orders starts again.
    ScriptedFocuser* focuser = server.devices.focuser(QStringLiteral("127.0.0.1"));
    focuser->motionState = AlpacaFocuser::Motion::Idle;
    focuser->orders.clear();
    return 0;
}
