#include "LoopbackAddress.h"
#include "Skip.h"
#include "TestMain.h"

#include "link/ReplyIntake.h"

#include <QFile>
#include <QSocketNotifier>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

// The reader of the command and search sockets, on loopback: passes of at
// most 64 datagrams, the sender filter, and reading that goes on whatever
// the handlers and the socket's notifications did.
class ReplyIntakeTest : public QObject
{
    Q_OBJECT

private slots:
    void passesAreBounded_data();
    void passesAreBounded();
    void keepsTheCurrentControllerOnly_data();
    void keepsTheCurrentControllerOnly();
    void readingGoesOnAfterAHandlerWaits_data();
    void readingGoesOnAfterAHandlerWaits();
    void notificationForAnEmptiedSocketLeavesItHeard();
    void notificationInsideAPassStartsNoSecondPass();
};

namespace {

const QHostAddress Controller = LoopbackAddress::next();
const QHostAddress OtherHost = LoopbackAddress::next();

QString ipv6UnavailableReason()
{
    return QFile::exists(QStringLiteral("/proc/net/if_inet6")) ? QString() : QStringLiteral("this host has no IPv6");
}

// A socket that answers come to, and what its intake kept.
struct Receiver
{
    explicit Receiver(QHostAddress::SpecialAddress bound = QHostAddress::LocalHost)
    {
        socket.bind(QHostAddress(bound), 0);
    }

    // Sends `texts` from `from` to the socket, back to back; on loopback
    // each is queued at the socket before the send returns.
    void receive(const QHostAddress& from, const QStringList& texts)
    {
        QUdpSocket sender;
        sender.bind(from, 0);
        for (const QString& text : texts)
            sender.writeDatagram(text.toLatin1(), QHostAddress(QHostAddress::LocalHost), socket.localPort());
    }

    QUdpSocket socket;
    QStringList kept;
};

QStringList numbered(const QString& prefix, int first, int last)
{
    QStringList texts;
    for (int i = first; i <= last; ++i)
        texts << prefix + QString::number(i);
    return texts;
}

} // namespace

void ReplyIntakeTest::passesAreBounded_data()
{
    QTest::addColumn<bool>("fromController");
    QTest::addColumn<QList<int>>("keptPerPass");
    QTest::newRow("the controller's reports") << true << QList<int>{64, 64, 22};
    // Another host's datagrams are read and dropped in passes of their own
    // size: a stranger's flood holds nothing up either.
    QTest::newRow("another host's datagrams") << false << QList<int>{0, 0, 0};
}

void ReplyIntakeTest::passesAreBounded()
{
    QFETCH(bool, fromController);
    QFETCH(QList<int>, keptPerPass);
    Receiver receiver;
    ReplyIntake intake(
        &receiver.socket, [] { return Controller.toString(); },
        [&receiver](const QString& text, const QHostAddress&) { receiver.kept << text; });
    receiver.receive(fromController ? Controller : OtherHost, numbered(QStringLiteral("Zoom="), 1, 150));

    // No event loop runs: a pass reads what waits, and says whether more does.
    int keptBefore = 0;
    for (int pass = 0; pass < keptPerPass.size(); ++pass) {
        const bool more = intake.readPass();
        QCOMPARE(more, pass + 1 < keptPerPass.size());
        QCOMPARE(receiver.kept.size() - keptBefore, keptPerPass.at(pass));
        keptBefore = receiver.kept.size();
    }
    if (fromController)
        QCOMPARE(receiver.kept, numbered(QStringLiteral("Zoom="), 1, 150));
}

void ReplyIntakeTest::keepsTheCurrentControllerOnly_data()
{
    QTest::addColumn<int>("bound");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<bool>("filtered");
    QTest::addColumn<bool>("fromController");
    QTest::addColumn<bool>("kept");
    const int ipv4 = int(QHostAddress::LocalHost);
    const int dualStack = int(QHostAddress::Any);
    const QString controller = Controller.toString();
    QTest::newRow("the controller") << ipv4 << controller << true << true << true;
    // A dual-stack socket reports an IPv4 sender in its IPv4-mapped form.
    QTest::newRow("the controller, on a dual-stack socket") << dualStack << controller << true << true << true;
    QTest::newRow("another host") << ipv4 << controller << true << false << false;
    QTest::newRow("another host, on a dual-stack socket") << dualStack << controller << true << false << false;
    QTest::newRow("before any controller is named") << ipv4 << QString() << true << true << false;
    QTest::newRow("a search hears anyone") << ipv4 << QString() << false << false << true;
}

void ReplyIntakeTest::keepsTheCurrentControllerOnly()
{
    QFETCH(int, bound);
    QFETCH(QString, controller);
    QFETCH(bool, filtered);
    QFETCH(bool, fromController);
    QFETCH(bool, kept);
    if (bound == int(QHostAddress::Any))
        SKIP_IF_UNAVAILABLE(ipv6UnavailableReason());
    Receiver receiver{QHostAddress::SpecialAddress(bound)};
    const ReplyIntake::Handler keep = [&receiver](const QString& text, const QHostAddress&) { receiver.kept << text; };
    std::unique_ptr<ReplyIntake> intake = filtered ? std::make_unique<ReplyIntake>(
                                              &receiver.socket, [controller] { return controller; }, keep)
                                                   : std::make_unique<ReplyIntake>(&receiver.socket, keep);
    receiver.receive(fromController ? Controller : OtherHost, {QStringLiteral("SN=15001")});
    QVERIFY(!intake->readPass());
    QCOMPARE(receiver.kept, kept ? QStringList{"SN=15001"} : QStringList());
}

void ReplyIntakeTest::readingGoesOnAfterAHandlerWaits_data()
{
    QTest::addColumn<int>("waitingAt");
    // Around the end of the first pass: the handler of the 64th datagram
    // waits while the next datagram arrives.
    for (int at : {63, 64, 65})
        QTest::newRow(qPrintable(QStringLiteral("datagram %1 waits").arg(at))) << at;
}

// A handler waits with events, as the panel's identification does, and a
// datagram arrives during the wait: its notification is swallowed (the
// toolkit does not notify inside a notification), and the socket notifies
// no more until it is read. Reading must go on all the same.
void ReplyIntakeTest::readingGoesOnAfterAHandlerWaits()
{
    QFETCH(int, waitingAt);
    Receiver receiver;
    ReplyIntake intake(
        &receiver.socket, [] { return Controller.toString(); },
        [&receiver, waitingAt](const QString& text, const QHostAddress&) {
            receiver.kept << text;
            if (text != QStringLiteral("Zoom=%1").arg(waitingAt))
                return;
            receiver.receive(Controller, {QStringLiteral("AF=1")});
            QTest::qWait(50);
        });
    connect(&receiver.socket, &QUdpSocket::readyRead, &intake, &ReplyIntake::readAvailable);
    receiver.receive(Controller, numbered(QStringLiteral("Zoom="), 1, waitingAt));

    TRY_VERIFY(receiver.kept.contains(QStringLiteral("AF=1")));
    receiver.receive(Controller, {QStringLiteral("Zoom=999")});
    TRY_VERIFY(receiver.kept.contains(QStringLiteral("Zoom=999")));
    QCOMPARE(receiver.kept,
             numbered(QStringLiteral("Zoom="), 1, waitingAt) << "AF=1"
                                                             << "Zoom=999");
}

// A pass can empty the socket between the moment the event loop saw it
// readable and the moment it delivers the notification. That notification
// then finds nothing to read, and the toolkit waits for a read before it
// notifies again.
void ReplyIntakeTest::notificationForAnEmptiedSocketLeavesItHeard()
{
    Receiver receiver;
    ReplyIntake intake(
        &receiver.socket, [] { return Controller.toString(); },
        [&receiver](const QString& text, const QHostAddress&) { receiver.kept << text; });
    connect(&receiver.socket, &QUdpSocket::readyRead, &intake, &ReplyIntake::readAvailable);
    receiver.receive(Controller, {QStringLiteral("Zoom=1")});
    TRY_COMPARE(receiver.kept.size(), 1);

    // The socket's read notifier, activated while the socket is empty.
    QSocketNotifier* readNotifier = nullptr;
    for (QSocketNotifier* notifier : receiver.socket.findChildren<QSocketNotifier*>()) {
        if (notifier->type() == QSocketNotifier::Read)
            readNotifier = notifier;
    }
    QVERIFY(readNotifier);
    QEvent activation(QEvent::SockAct);
    QCoreApplication::sendEvent(readNotifier, &activation);

    receiver.receive(Controller, {QStringLiteral("Zoom=2")});
    QTest::qWait(50);
    receiver.receive(Controller, {QStringLiteral("Zoom=3")});
    TRY_COMPARE(receiver.kept, (QStringList{"Zoom=1", "Zoom=2", "Zoom=3"}));
}

void ReplyIntakeTest::notificationInsideAPassStartsNoSecondPass()
{
    Receiver receiver;
    int depth = 0;
    int deepest = 0;
    ReplyIntake* self = nullptr;
    ReplyIntake intake(
        &receiver.socket, [] { return Controller.toString(); },
        [&](const QString& text, const QHostAddress&) {
            const QScopedValueRollback<int> inside(depth, depth + 1);
            deepest = qMax(deepest, depth);
            receiver.kept << text;
            QVERIFY(self->isReading());
            self->readAvailable();
            QTest::qWait(5);
        });
    self = &intake;
    connect(&receiver.socket, &QUdpSocket::readyRead, &intake, &ReplyIntake::readAvailable);
    receiver.receive(Controller, numbered(QStringLiteral("T="), 1, 100));
    TRY_COMPARE(receiver.kept.size(), 100);
    QCOMPARE(receiver.kept, numbered(QStringLiteral("T="), 1, 100));
    QCOMPARE(deepest, 1);
    QVERIFY(!intake.isReading());
}

LENSDESK_TEST_MAIN(ReplyIntakeTest)
#include "tst_replyintake.moc"
