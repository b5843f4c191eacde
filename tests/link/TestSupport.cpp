#include "TestSupport.h"

#include "app/LensDesk.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkDatagram>

#include <cstdio>

LoopbackPeer::LoopbackPeer(const QString& address, QObject* parent)
    : QObject(parent)
    , m_address(address)
{
    m_socket.bind(QHostAddress(address), 1339);
    connect(&m_socket, &QUdpSocket::readyRead, this, &LoopbackPeer::readCommands);
}

void LoopbackPeer::sendTo(quint16 panelPort, const QByteArray& datagram)
{
    m_socket.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), panelPort);
}

void LoopbackPeer::readCommands()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QString text = QString::fromLatin1(datagram.data());
        m_received << text;
        for (const QString& reply : m_script.value(text))
            m_socket.writeDatagram(reply.toUtf8(), datagram.senderAddress(), quint16(datagram.senderPort()));
        emit commandReceived(text);
    }
}

BoxAnswerer::BoxAnswerer(QObject* parent)
    : QObject(parent)
{
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        titles << box->windowTitle();
        texts << box->text();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->accept();
    });
    m_poll.start();
}

void prepareWindow(LensDesk& window)
{
    if (!window.protocolMenu)
        window.protocolMenu = new QMenu(&window);
    if (!window.protocolActions[0]) {
        auto* group = new QActionGroup(&window);
        for (size_t i = 0; i < window.protocolActions.size(); ++i) {
            auto* action = new QAction(&window);
            action->setCheckable(true);
            group->addAction(action);
            window.protocolActions[i] = action;
        }
        window.protocolActions[0]->setChecked(true);
    }
}

int runOldFirmwareChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    LensDesk window;
    prepareWindow(window);
    LoopbackPeer controller(QStringLiteral("127.44.4.5"));
    controller.answer(QStringLiteral("ver"), {QStringLiteral("ORVO RE-2=1.3.9")});

    // Reports every box on stdout before answering it; the parent checks
    // that the refusal was shown before the program ended.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        std::printf("BOX:%s|%s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
        std::fflush(stdout);
        box->accept();
    });
    poll.start();
    // The program must end by itself; a hang ends here with a status the
    // parent does not accept.
    QTimer::singleShot(20000, [] { QCoreApplication::exit(3); });

    window.isORVOProduct(controller.address());
    return app.exec();
}
