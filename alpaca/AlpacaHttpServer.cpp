#include "alpaca/AlpacaHttpServer.h"

#include "alpaca/ConnectionQueue.h"
#include "alpaca/SocketConnection.h"

#include <QStringList>

#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray bytes(const std::string& text) { return QByteArray(text.data(), int(text.size())); }

std::string text(const QByteArray& bytes) { return std::string(bytes.constData(), size_t(bytes.size())); }

// The answers to a request that broke a bound before the library could
// answer it, and to a connection over the bound.
constexpr char TooSlowAnswer[] = "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Type: text/plain\r\n"
                                 "Content-Length: 35\r\n\r\nThe request did not arrive in time\n";
constexpr char TooLargeAnswer[] = "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n"
                                  "Content-Type: text/plain\r\nContent-Length: 25\r\n\r\nThe request is too large\n";
constexpr char RefusedAnswer[] = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Type: text/plain\r\n"
                                 "Content-Length: 37\r\n\r\nToo many connections; try again soon\n";

} // namespace

AlpacaHttpServer::AlpacaHttpServer(Answer answer)
    : m_answer(std::move(answer))
{
    new_task_queue = [this] {
        auto* queue = new ConnectionQueue(WorkerThreads, MaxConnections);
        m_queue = queue;
        return queue;
    };
    // The library's own choice, SO_REUSEPORT, lets a second server bind the
    // same port and take part of the connections: a port in use must be
    // refused. SO_REUSEADDR alone still allows a restart at once.
    set_socket_options([](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    set_payload_max_length(BodyBytes);
    // What the library announces in its Keep-Alive header.
    set_keep_alive_timeout(KeepAliveMs / 1000);
    set_keep_alive_max_count(KeepAliveRequests);
    // Every path of every method goes to the router; the library has read
    // the body by then.
    const Handler toRouter = [this](const httplib::Request& request, httplib::Response& response) {
        answerRequest(request, response);
    };
    const std::string anyPath = ".*";
    Get(anyPath, toRouter);
    Put(anyPath, toRouter);
    Post(anyPath, toRouter);
    Delete(anyPath, toRouter);
    Patch(anyPath, toRouter);
    Options(anyPath, toRouter);
    // The library's own refusals (a request line or header it cannot read,
    // a body too large) say why in plain text.
    set_error_handler(HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty())
            return HandlerResponse::Unhandled;
        const QString reason = tr("HTTP %1: the request cannot be read.").arg(response.status);
        response.set_content(text(reason.toUtf8() + '\n'), "text/plain; charset=utf-8");
        return HandlerResponse::Handled;
    }));
    set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.set_content(text(tr("The server failed on this request.").toUtf8() + '\n'),
                             "text/plain; charset=utf-8");
    });
}

AlpacaHttpServer::~AlpacaHttpServer() { stop(); }

bool AlpacaHttpServer::start(const QString& address, quint16 port, QString* error)
{
    const std::string host = address.toStdString();
    if (port == 0) {
        const int bound = bind_to_any_port(host);
        m_port = bound > 0 ? quint16(bound) : 0;
    } else if (bind_to_port(host, port)) {
        m_port = port;
    }
    if (m_port == 0) {
        *error = tr("Cannot listen on %1 port %2 (in use, or not an address of this host).").arg(address).arg(port);
        return false;
    }
    // The library listens with a queue of 5 pending connections: clients
    // beyond it would wait for the kernel's handshake retries (seconds)
    // before the server could take or refuse them.
    ::listen(svr_sock_, ListenBacklog);
    m_acceptor = std::thread([this] { listen_after_bind(); });
    // stop() only ends a server that has begun to accept.
    while (!is_running() && m_acceptor.joinable())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void AlpacaHttpServer::stop()
{
    m_stopping = true;
    httplib::Server::stop();
    if (m_acceptor.joinable())
        m_acceptor.join();
}

bool AlpacaHttpServer::othersWait() const
{
    const ConnectionQueue* queue = m_queue;
    return queue && queue->waiting() > 0;
}

void AlpacaHttpServer::serve(ConnectionStream& connection)
{
    for (int left = KeepAliveRequests; left > 0 && !m_stopping; --left) {
        if (!connection.awaitRequest([this] { return othersWait(); }))
            return;
        connection.startRequest();
        bool closed = false;
        const bool served = process_request(connection, left == 1, closed, nullptr);
        const ConnectionStream::Overrun overrun = connection.overrun();
        if (overrun == ConnectionStream::Overrun::Time && !connection.answered())
            connection.write(TooSlowAnswer, sizeof TooSlowAnswer - 1);
        if (overrun == ConnectionStream::Overrun::Bytes && !connection.answered())
            connection.write(TooLargeAnswer, sizeof TooLargeAnswer - 1);
        if (!served || closed || overrun != ConnectionStream::Overrun::None)
            return;
    }
}

bool AlpacaHttpServer::process_and_close_socket(socket_t socket)
{
    if (ConnectionQueue::refusing()) {
        [[maybe_unused]] const ssize_t sent =
            ::send(socket, RefusedAnswer, sizeof RefusedAnswer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    } else {
        SocketConnection connection(socket, {RequestTimeMs, RequestBytes}, {KeepAliveMs, WriteTimeMs}, m_stopping);
        serve(connection);
    }
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return true;
}

void AlpacaHttpServer::answerRequest(const httplib::Request& request, httplib::Response& response)
{
    AlpacaRequest alpaca;
    alpaca.method = bytes(request.method);
    alpaca.path = bytes(request.path);
    const size_t query = request.target.find('?');
    if (query != std::string::npos)
        alpaca.query = bytes(request.target.substr(query + 1));
    alpaca.contentType = bytes(request.get_header_value("Content-Type"));
    alpaca.body = bytes(request.body);
    const HttpReply reply = m_answer(alpaca);
    response.status = reply.status;
    if (!reply.location.isEmpty())
        response.set_header("Location", text(reply.location));
    response.set_content(text(reply.body), text(reply.contentType));
}
