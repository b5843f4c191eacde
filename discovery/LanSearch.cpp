#include "discovery/LanSearch.h"

#include "link/CommandPort.h"
#include "link/Protocol.h"
#include "link/ReplyText.h"

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
    connect(socket, &QUdpSocket::readyRead, this, &LanSearch::readAnswers);
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

QStringList LanSearch::probeEverywhere()
{
    QStringList unbound;
    for (const SearchResults::InterfaceResult& interface : SearchResults::searchableInterfaces()) {
        for (const QString& address : interface.addresses) {
            bool bound = false;
            QUdpSocket* socket = openSocket(QHostAddress(address), &bound);
            if (bound)
                sendProbe(*socket);
            else
                unbound << address;
        }
    }
    return unbound;
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
    bool any = false;
    for (QUdpSocket* socket : qAsConst(m_sockets)) {
        while (socket->hasPendingDatagrams()) {
            QByteArray datagram(int(qMax<qint64>(0, socket->pendingDatagramSize())), Qt::Uninitialized);
            QHostAddress sender;
            const qint64 size = socket->readDatagram(datagram.data(), datagram.size(), &sender);
            if (size < 0)
                break;
            datagram.truncate(int(size));
            if (const auto answer = SearchResults::parseAnswer(sender, ReplyText::decode(datagram))) {
                m_replies << *answer;
                any = true;
            }
        }
    }
    if (any)
        emit answered();
}
