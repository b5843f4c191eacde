#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// A private network for the LAN search: a panel-side namespace joined by two
// veth links to two device-side namespaces, all in 10.231.0.0/16, names made
// unique with the process id. Link "a" carries two panel addresses
// (10.231.1.1 and 10.231.3.1) to device A (10.231.1.2/16), so a controller
// there is reachable from both; link "z" carries 10.231.2.1 to device B
// (10.231.2.2). A third link, "m", to device B has no IPv4 address on the
// panel side and starts down. Link "z" is created first, so the enumeration
// order of the panel's interfaces differs from their sorted order.
//
// Needs root and iproute2; everything it made is removed by tearDown(), which
// the destructor calls as well.
class NetnsLab
{
public:
    NetnsLab();
    ~NetnsLab();
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Why the lab cannot be built here (not root, no "ip netns"), or empty.
    static QString unavailableReason();

    bool setUp(QString* error);
    void tearDown();

    // Starts the scripted responder in `ns`, answering "ver" with `replies`;
    // returns once it reports being bound.
    bool startResponder(const QString& ns, const QStringList& replies, QString* error);
    bool setLinkUp(const QString& link, bool up, QString* error);

    // Runs `program args` in the panel namespace and returns its standard
    // output; false when it failed, crashed or overran `timeoutMs`.
    bool runInPanel(const QString& program, const QStringList& args, int timeoutMs, QByteArray* output, QString* error);

    // Runs `work` on a thread of this process moved into the namespace
    // `ns`, and waits for it: sockets it opens live in that namespace, so a
    // test can be a client there without a child process.
    static bool inside(const QString& ns, const std::function<void()>& work, QString* error);

    const QString panel;
    const QString deviceA;
    const QString deviceB;
    const QString linkA; // panel side of the link to device A
    const QString linkZ; // panel side of the link to device B
    const QString linkM; // panel side of the address-less link, down at first

private:
    bool ip(const QStringList& args, QString* error);

    QList<QProcess*> responders;
    QStringList namespaces;
};
