#pragma once

#include "discovery/SearchResults.h"

#include <QList>
#include <QObject>
#include <QVector>

#include <functional>

class QHostAddress;
class QUdpSocket;

// The sockets of a LAN search and what comes back to them. Each probed local
// address gets a socket of its own on a random port from 60000 to 65000,
// from which "ver" is broadcast to 255.255.255.255 port 1339; a controller
// answers "product=version" to that socket. The answers are collected in
// arrival order until taken. The connect dialog and the command-line client
// search through it.
//
// Runs on the thread that owns it; the answers are read from the event loop.
class LanSearch : public QObject
{
    Q_OBJECT

public:
    // How long the answers to one probe are awaited.
    static constexpr int ListeningWindowMs = 6000;

    explicit LanSearch(QObject* parent = nullptr);
    ~LanSearch() override;

    // Opens a socket on `address`. *bound tells whether the bind worked; a
    // socket that could not be bound is kept all the same (it hears nothing).
    QUdpSocket* openSocket(const QHostAddress& address, bool* bound);
    // Broadcasts the version question from `socket`.
    static void sendProbe(QUdpSocket& socket);
    // Opens a socket on every address of every searchable interface and
    // probes from it; `probed` hears each address and whether a port could
    // be bound there (no probe leaves an address without one).
    void probeEverywhere(const std::function<void(const QString& address, bool bound)>& probed);
    void closeSockets();

    const QList<QUdpSocket*>& sockets() const { return m_sockets; }
    const QVector<SearchResults::Responder>& replies() const { return m_replies; }
    // The answers collected so far; the collection starts again empty.
    QVector<SearchResults::Responder> takeReplies();

public slots:
    // Reads one bounded pass of every socket; controller answers are kept.
    // (Each socket's own notifications read it as well.)
    void readAnswers();

signals:
    // A controller's answer was kept.
    void answered();

private:
    QList<QUdpSocket*> m_sockets;
    QVector<SearchResults::Responder> m_replies;
};
