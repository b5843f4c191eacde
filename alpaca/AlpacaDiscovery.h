#pragma once

#include <QCoreApplication>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

// Alpaca discovery: a client broadcasts "alpacadiscovery1" to UDP port
// 32227 and every Alpaca server answers the asker with
// {"AlpacaPort":PORT}, the port of its HTTP API. The socket shares its port
// with other Alpaca servers on the host. Each pass reads a bounded number
// of datagrams, so that a flood cannot hold the controller thread.
//
// The asker takes the answer's source address for the server's, so a server
// whose API listens on one address answers only where that address can be
// reached: on loopback, loopback askers; otherwise askers on the network of
// that address. An API on every address answers every asker.
//
// Controller thread only.
class AlpacaDiscovery : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 DefaultPort = 32227;
    static constexpr int DatagramsPerPass = 64;

    AlpacaDiscovery(quint16 httpPort, QObject* parent = nullptr);

    // Answers on `port` for an API that listens on `listen`. False with the
    // reason when the port cannot be had.
    bool start(const QHostAddress& listen, quint16 port, QString* error);
    quint16 port() const { return m_socket.localPort(); }

    // The answer to `datagram`, or nothing for a datagram that is no
    // discovery question.
    static QByteArray answerTo(const QByteArray& datagram, quint16 httpPort);

private:
    void readQuestions();
    bool reaches(const QHostAddress& asker) const;

    quint16 m_httpPort;
    // The askers' network; a null address: every asker.
    QPair<QHostAddress, int> m_askers;
    QUdpSocket m_socket;
};
