#include "ScriptedController.h"
#include "TestMain.h"
#include "TestWaits.h"

#include "cli/ControllerSession.h"

#include <QSignalSpy>
#include <QtTest>

// The command-line client's view of one controller, against a scripted
// controller on loopback: its replies are read in bounded passes like the
// panel's, so that a controller that never stops talking cannot hold off a
// wait's time limit.
class ControllerSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void repliesAreReadInBatches();
};

void ControllerSessionTest::repliesAreReadInBatches()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    ControllerSession session(controller.address());
    QVERIFY(session.isOpen());
    QSignalSpy replies(&session, &ControllerSession::replyReceived);
    constexpr int Reports = 150; // well within the socket's receive buffer
    for (int i = 1; i <= Reports; ++i)
        controller.sendTo(session.socket()->localPort(), "Zoom=" + QByteArray::number(i));

    // One notification reads one batch and returns to the event loop; the
    // rest follow on its next turns, in order.
    emit session.socket()->readyRead();
    QVERIFY2(replies.count() >= 1 && replies.count() < Reports, qPrintable(QString::number(replies.count())));
    QVERIFY(session.waitUntil([&replies] { return replies.count() == Reports; }, TestWaits::reply()));
    for (int i = 0; i < Reports; ++i)
        QCOMPARE(replies.at(i).at(0).toString(), QStringLiteral("Zoom=%1").arg(i + 1));
}

LENSDESK_TEST_MAIN(ControllerSessionTest)
#include "tst_controllersession.moc"
