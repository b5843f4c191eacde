// libFuzzer target: any datagram from the controller's address through the
// panel's reply handling. A panel is built once on the offscreen platform; each
// input is sent from 127.0.0.1 (its controller address) to its command socket
// and read there by the dispatcher, exactly as a controller's answer is.
//
// An identification answer (a known product name) starts the connection
// sequence instead: waits, worker threads and, for a too old firmware, the
// end of the process. Its version rules are fuzzed here directly, and such
// texts are not sent.
#include "LensDeskTestAccess.h"
#include "app/LensDesk.h"
#include "link/ReplyReader.h"
#include "link/ReplyText.h"
#include "link/VersionRules.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QUdpSocket>

#include <cstdint>
#include <cstdlib>

namespace {

LensDesk* panel = nullptr;
QUdpSocket* controller = nullptr;

void ignoreMessages(QtMsgType, const QMessageLogContext&, const QString&) { }

void checkVersionRules(const QString& version)
{
    const VersionRules::VersionParts parts = VersionRules::parts(version);
    VersionRules::isTooOld(parts);
    VersionRules::lacksStabiliserSwitch(version);
    VersionRules::allowsProtocolChoice(version);
    VersionRules::firmwareNumber(VersionRules::withBootLoader(version, QStringLiteral("1")));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz_replies";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(ignoreMessages);
    new QApplication(argc, argv);
    panel = new LensDesk;
    LensDeskTestAccess::aimAt(*panel, QStringLiteral("127.0.0.1"));
    controller = new QUdpSocket;
    if (!controller->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), int(size));
    const QString text = ReplyText::decode(datagram);

    if (ReplyReader::isIdentification(text)) {
        checkVersionRules(ReplyText::valueOfKey(text));
        return 0;
    }

    const QUdpSocket* commandSocket = LensDeskTestAccess::commandSocket(*panel);
    if (controller->writeDatagram(datagram, QHostAddress(QStringLiteral("127.0.0.1")), commandSocket->localPort())
        != datagram.size())
        std::abort();
    // The event loop hands the datagram to the dispatcher once it is there.
    QElapsedTimer clock;
    clock.start();
    while (!commandSocket->hasPendingDatagrams() && clock.elapsed() < 2000)
        QThread::msleep(1);
    while (commandSocket->hasPendingDatagrams() && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (commandSocket->hasPendingDatagrams())
        std::abort();
    // Whatever arrives, the protocol index stays one the menu has.
    if (LensDeskTestAccess::currentProtocol(*panel) < 0 || LensDeskTestAccess::currentProtocol(*panel) > 2)
        std::abort();
    return 0;
}
