#include "discovery/LanSearch.h"

#include "link/CommandPort.h"
#include "link/Protocol.h"
#include "link/ReplyIntake.h"

#include <QRandomGenerator>
#include <QUdpSocket>

LanSearch::LanSearch(QObject* parent)
    : QObject(parent)
{ }

LanSearch::~LanSearch() { closeSockets(); }

QUdpSocket* LanSearch::openSocket(const QHostAddress& address, bool* bound)
{
    auto* socket = new QUdpSocket(this);
    m_sockets << socket;
    // Anyone may answer a broadcast; the answers are read in bounded passes,
    // so that a flood cannot hold off the end of the listening window.
    auto* intake = new ReplyIntake(
        socket,
        [this](const QString& text, const QHostAddress& sender) {
            if (const auto answer = SearchResults::parseAnswer(sender, text)) {
                m_replies << *answer;
                emit answered();
            }
        },
        socket);
    connect(socket, &QUdpSocket::readyRead, intake, &ReplyIntake::readAvailable);
    // The panel's own port range, clear of the controller's 1339.
    const quint16 port = quint16(CommandPort::First + QRandomGenerator::global()->bounded(CommandPort::Span));
    *bound = socket->bind(address, port);
    return socket;
}

void LanSearch::sendProbe(QUdpSocket& socket)
{
    socket.writeDatagram(QByteArray(Protocol::Command::Version), QHostAddress(QHostAddress::Broadcast),
                         Protocol::ControllerPort);
}

void LanSearch::probeEverywhere(const std::function<void(const QString& address, bool bound)>& probed)
{
    for (const SearchResults::InterfaceResult& interface : SearchResults::searchableInterfaces()) {
        for (const QString& address : interface.addresses) {
            bool bound = false;
            QUdpSocket* socket = openSocket(QHostAddress(address), &bound);
            if (bound)
                sendProbe(*socket);
            probed(address, bound);
        }
    }
}

void LanSearch::closeSockets()
{
    for (QUdpSocket* socket : qAsConst(m_sockets)) {
        socket->close();
        socket->deleteLater();
    }
    m_sockets.clear();
}

QVector<SearchResults::Responder> LanSearch::takeReplies()
{
    QVector<SearchResults::Responder> taken;
    taken.swap(m_replies);
    return taken;
}

void LanSearch::readAnswers()
{
    for (QUdpSocket* socket : qAsConst(m_sockets)) {
        if (auto* intake = socket->findChild<ReplyIntake*>())
            intake->readPass();
    }
}
