#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"
#include "TestMain.h"

#include "admin/masterDlg.h"
#include "lens/zoomWorker.h"
#include "link/ConnectionExchange.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <memory>

// Connecting to a scripted controller on loopback: the probe, the
// identification and its version rules, the time limit, Stop, late answers,
// the replacement of the workers and the reaction to a lost controller.
class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectsKnownController();
    void identificationVersions_data();
    void identificationVersions();
    void tooOldFirmwareEndsProgramWithZero();
    void noAnswerWarnsAfterTimeLimit();
    void stopShowsNoWarning();
    void lateIdentificationStillConnects();
    void timeLimitDuringIdentificationIsNoFailure();
    void secondIdentificationReplacesWorkers();
    void lostControllerMarksReadOutsUnavailable();
    void dispatcherStaysTheSocketsOnlyReader();
    void lossSignalOfAReplacedMonitorIsIgnored();
    void strayBurstBeforeIdentificationLeavesTheSocketHeard_data();
    void strayBurstBeforeIdentificationLeavesTheSocketHeard();

private:
    bool controlsEnabled() const;

    std::unique_ptr<ConnectedWindow> m_panel;
    LensDesk* m_window = nullptr;
    ScriptedController* m_controller = nullptr;
};

namespace {
// Nothing listens here: an attempt gets no answer.
const QString SilentAddress = LoopbackAddress::next().toString();
const QString Ver = QStringLiteral("ver");
const QString Ping = QStringLiteral("ping");

// A controller that stops answering is declared lost after its fourth
// unanswered ping, a few seconds at the normal pace.
int lossWait() { return TestWaits::scaled(15000); }

// The program against a controller whose firmware is too old, in a child
// process of its own, because that path ends the process. It reports the
// box it shows on standard output before answering it; the parent checks
// that the refusal was shown before the program ended.
int runOldFirmwareChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    ConnectedWindow panel;
    panel.controller().answer(Ver, {QStringLiteral("ORVO RE-2=1.3.9")});
    panel.modals().expect<QMessageBox>([](QMessageBox* box) {
        std::printf("BOX:%s|%s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
        std::fflush(stdout);
        box->accept();
    });
    // The program must end by itself; a hang ends here with a status the
    // parent does not accept.
    QTimer::singleShot(TestWaits::scaled(20000), [] { QCoreApplication::exit(3); });

    panel.window().isORVOProduct(panel.controller().address());
    return app.exec();
}
} // namespace

void ConnectionTest::init()
{
    m_panel = std::make_unique<ConnectedWindow>();
    m_window = &m_panel->window();
    m_controller = &m_panel->controller();
    QVERIFY(m_controller->isBound());
}

void ConnectionTest::cleanup() { m_panel.reset(); }

bool ConnectionTest::controlsEnabled() const
{
    return named<QSlider>(*m_window, "irisSlider")->isEnabled() && named<QSlider>(*m_window, "focusSlider")->isEnabled()
        && named<QAction>(*m_window, "actionReboot")->isEnabled();
}

void ConnectionTest::connectsKnownController()
{
    m_controller->answer(Ver, {QStringLiteral("ORVO RE-2=1.8.3")});
    named<QMenu>(*m_window, "protocolMenu")->setEnabled(false);
    QVERIFY(!controlsEnabled());

    m_window->isORVOProduct(m_controller->address());
    QVERIFY(named<QProgressDialog>(*m_window, "connectingDialog")->isVisible());
    QCOMPARE(named<QProgressDialog>(*m_window, "connectingDialog")->labelText(),
             QStringLiteral("Connecting to %1").arg(m_controller->address()));
    QVERIFY(LensDeskTestAccess::serviceDialog(*m_window));

    TRY_COMPARE(named<QLabel>(*m_window, "deviceInfoLabel")->text(),
                QStringLiteral("Device: ORVO RE-2 v.1.8.3  @%1").arg(m_controller->address()));
    QVERIFY(controlsEnabled());
    QVERIFY(named<QMenu>(*m_window, "protocolMenu")->isEnabled());
    QVERIFY(!named<QProgressDialog>(*m_window, "connectingDialog")->isVisible());
    QVERIFY(named<QAction>(*m_window, "actionChange_IP")->isEnabled());
    QCOMPARE(LensDeskTestAccess::productName(*m_window), QStringLiteral("ORVO RE-2"));
    QCOMPARE(LensDeskTestAccess::firmwareNumber(*m_window), QStringLiteral("1.8.3"));
    QCOMPARE(LensDeskTestAccess::fNumberTable(*m_window).size(), 40);

    TRY_VERIFY(m_controller->texts().contains(QStringLiteral("getNAME")));
    const QStringList expected{QStringLiteral("blver"), QStringLiteral("getProto"), Ver, QStringLiteral("setFLAG=99"),
                               QStringLiteral("getNAME")};
    QStringList commands = m_controller->texts();
    commands.removeAll(Ping);
    QCOMPARE(commands, expected);

    // The liveness monitor now pings this controller.
    QVERIFY(LensDeskTestAccess::livenessMonitor(*m_window));
    QVERIFY(LensDeskTestAccess::motionWorker(*m_window));
    TRY_VERIFY(m_controller->count(Ping) >= 1);
    QCOMPARE(m_panel->modals().unexpected(), 0);
}

void ConnectionTest::identificationVersions_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("deviceLine");
    QTest::addColumn<bool>("protocolMenuEnabled");
    QTest::addColumn<bool>("stabiliserEnabled");
    dataRow("1.7.4", "ORVO RE-2=1.7.4", "Device: ORVO RE-2 v.1.7.4  @%1", false, false);
    dataRow("2.1.0", "ORVO DuvudER=2.1.0", "Device: ORVO DuvudER v.2.1.0  @%1", true, true);
    dataRow("no version parts", "ORVO KX-MQTR=beta", "Device: ORVO KX-MQTR v.beta  @%1", true, true);
    const char* const withBootLoader = "Device: ORVO RE-2 v.1.8.12 (BL1) rc  @%1";
    dataRow("boot loader inserted, d removed", "ORVO RE-2=1.8.12d rc", withBootLoader, true, true);
}

void ConnectionTest::identificationVersions()
{
    QFETCH(QString, answer);
    m_controller->answer(Ver, {answer});
    named<QCheckBox>(*m_window, "checkBoxIS")->setEnabled(true);

    m_window->isORVOProduct(m_controller->address());
    QTRY_VERIFY_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(*m_window) != nullptr, TestWaits::identify());
    QFETCH(QString, deviceLine);
    QCOMPARE(named<QLabel>(*m_window, "deviceInfoLabel")->text(), deviceLine.arg(m_controller->address()));
    QTEST(named<QMenu>(*m_window, "protocolMenu")->isEnabled(), "protocolMenuEnabled");
    QTEST(named<QCheckBox>(*m_window, "checkBoxIS")->isEnabled(), "stabiliserEnabled");
    QVERIFY(controlsEnabled());
    QCOMPARE(m_panel->modals().unexpected(), 0);
}

void ConnectionTest::tooOldFirmwareEndsProgramWithZero()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--old-firmware-child")});
    QVERIFY(child.waitForStarted(TestWaits::processStart()));
    QVERIFY2(child.waitForFinished(TestWaits::scaled(30000)), "the program did not end");
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(output.contains(QStringLiteral("BOX:Error|Please update the firmware!")), qPrintable(output));
    QCOMPARE(child.exitCode(), 0);
}

void ConnectionTest::noAnswerWarnsAfterTimeLimit()
{
    ModalAnswerer::Box warning;
    m_panel->modals().expectBox(QMessageBox::Ok, &warning);
    QElapsedTimer clock;
    clock.start();
    m_window->isORVOProduct(SilentAddress);
    QTRY_COMPARE_WITH_TIMEOUT(m_panel->modals().pending(), 0, TestWaits::scaled(20000));
    QVERIFY2(clock.elapsed() >= 5500, "the warning came before the time limit");
    QCOMPARE(warning.title, QStringLiteral("Connecting Error"));
    QCOMPARE(warning.text,
             QStringLiteral("Can't find <b>ORVO VaverUzir Controller</b> on <b>%1</b><br>Check for conflicts "
                            "with your firewall or antivirus software.")
                 .arg(SilentAddress));
    QCOMPARE(m_panel->modals().unexpected(), 0);
    QVERIFY(!named<QProgressDialog>(*m_window, "connectingDialog")->isVisible());
    QVERIFY(!controlsEnabled());
    QVERIFY(!LensDeskTestAccess::livenessMonitor(*m_window));
}

void ConnectionTest::stopShowsNoWarning()
{
    m_window->isORVOProduct(SilentAddress);
    // The operator waits two seconds, then presses Stop.
    constexpr int StopAfterMs = 2000;
    QTest::qWait(StopAfterMs);
    auto* stop = named<QProgressDialog>(*m_window, "connectingDialog")->findChild<QPushButton*>();
    QVERIFY(stop);
    stop->click();
    QVERIFY(!named<QProgressDialog>(*m_window, "connectingDialog")->isVisible());
    // Past the time limit of the abandoned attempt, by a quiet period in
    // which its warning would have come.
    QTest::qWait(ConnectionExchange::IdentifyLimitMs - StopAfterMs + TestWaits::quiet());
    QCOMPARE(m_panel->modals().unexpected(), 0);
    QVERIFY(!controlsEnabled());
}

void ConnectionTest::lateIdentificationStillConnects()
{
    m_window->isORVOProduct(m_controller->address());
    named<QProgressDialog>(*m_window, "connectingDialog")->findChild<QPushButton*>()->click();
    QVERIFY(!LensDeskTestAccess::livenessMonitor(*m_window));

    m_controller->sendTo(m_panel->panelPort(), "ORVO RE-2=1.8.3");
    QTRY_VERIFY_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(*m_window) != nullptr, TestWaits::identify());
    QVERIFY(controlsEnabled());
    TRY_VERIFY(m_controller->count(Ping) >= 1);
    QCOMPARE(m_panel->modals().unexpected(), 0);
}

void ConnectionTest::timeLimitDuringIdentificationIsNoFailure()
{
    // Makes the time limit run out inside the identification handling: the
    // stabiliser box is disabled there for 1.7.4, just before a wait.
    struct LimitAtStabiliserChange : QObject
    {
        QTimer* limit = nullptr;
        bool eventFilter(QObject*, QEvent* event) override
        {
            // A limit still running would be due at once.
            if (event->type() == QEvent::EnabledChange && limit->isActive())
                limit->start(0);
            return false;
        }
    } trigger;
    trigger.limit = LensDeskTestAccess::attemptTimeLimit(*m_window);
    named<QCheckBox>(*m_window, "checkBoxIS")->setEnabled(true);
    named<QCheckBox>(*m_window, "checkBoxIS")->installEventFilter(&trigger);
    m_controller->answer(Ver, {QStringLiteral("ORVO RE-2=1.7.4")});

    m_window->isORVOProduct(m_controller->address());
    TRY_VERIFY(m_controller->texts().contains(QStringLiteral("getNAME")));
    named<QCheckBox>(*m_window, "checkBoxIS")->removeEventFilter(&trigger);
    QVERIFY(!named<QCheckBox>(*m_window, "checkBoxIS")->isEnabled());
    QCOMPARE(named<QLabel>(*m_window, "deviceInfoLabel")->text(),
             QStringLiteral("Device: ORVO RE-2 v.1.7.4  @%1").arg(m_controller->address()));
    QVERIFY(LensDeskTestAccess::livenessMonitor(*m_window));
    QVERIFY(controlsEnabled());
    QTest::qWait(TestWaits::quiet()); // a warning would be up by now
    QCOMPARE(m_panel->modals().unexpected(), 0);
}

void ConnectionTest::secondIdentificationReplacesWorkers()
{
    ScriptedController second;
    QVERIFY(second.isBound());
    m_controller->answer(Ver, {QStringLiteral("ORVO RE-2=1.8.3")});
    second.answer(Ver, {QStringLiteral("ORVO RE-2=1.9.0")});

    m_window->isORVOProduct(m_controller->address());
    QTRY_VERIFY_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(*m_window) != nullptr, TestWaits::identify());
    QPointer<const pingWorker> firstMonitor = LensDeskTestAccess::livenessMonitor(*m_window);
    TRY_VERIFY(m_controller->count(Ping) >= 2);

    m_window->isORVOProduct(second.address());
    TRY_VERIFY(firstMonitor.isNull());
    QVERIFY(LensDeskTestAccess::livenessMonitor(*m_window));
    QCOMPARE(LensDeskTestAccess::livenessMonitor(*m_window)->address(), second.address());
    const int pingsToFirst = m_controller->count(Ping);
    TRY_VERIFY(second.count(Ping) >= 2);
    // Three periods of the old pace: nothing more reached the first controller.
    QTest::qWait(TestWaits::scaled(3 * pingWorker::NormalPeriodMs));
    QCOMPARE(m_controller->count(Ping), pingsToFirst);

    // The same controller again still gets fresh workers.
    QPointer<const pingWorker> secondMonitor = LensDeskTestAccess::livenessMonitor(*m_window);
    m_window->isORVOProduct(second.address());
    TRY_VERIFY(secondMonitor.isNull() && LensDeskTestAccess::livenessMonitor(*m_window));
}

void ConnectionTest::lostControllerMarksReadOutsUnavailable()
{
    m_controller->forget(Ping);
    m_controller->answer(Ver, {QStringLiteral("ORVO RE-2=1.8.3")});
    m_window->isORVOProduct(m_controller->address());
    QTRY_VERIFY_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(*m_window) != nullptr, TestWaits::identify());
    named<QLabel>(*m_window, "label_7")->setText(QStringLiteral("18mm"));

    // The controller ignores pings: after the fourth the monitor gives up.
    QTRY_COMPARE_WITH_TIMEOUT(named<QLabel>(*m_window, "lensLabel")->text(), QStringLiteral("Lens: N/A"), lossWait());
    for (QLineEdit* readOut : allNamed<QLineEdit>(*m_window, {"zoomVal", "focusVal", "irisVal"}))
        QCOMPARE(readOut->text(), QStringLiteral("N/A"));
    QVERIFY(named<QLabel>(*m_window, "label_7")->text().isEmpty());
    QVERIFY(named<QPushButton>(*m_window, "pushButtonOpen")->text().isEmpty());
    QVERIFY(!named<QSlider>(*m_window, "irisSlider")->isEnabled());
    QCOMPARE(LensDeskTestAccess::livenessMonitor(*m_window)->period(), pingWorker::SlowPeriodMs);

    // An answer is proof of life: the next ping restores the normal pace.
    m_controller->answer(Ping, {QStringLiteral("AF=1")});
    QTRY_COMPARE_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(*m_window)->period(), pingWorker::NormalPeriodMs,
                              pingWorker::SlowPeriodMs + TestWaits::reply());
}

namespace {
// Whether `reader` reads the socket: disconnecting succeeds only then (and
// leaves it that way, which is what the panel wants anyway).
bool readsSocket(const QUdpSocket* socket, const QObject* reader)
{
    return QObject::disconnect(socket, &QUdpSocket::readyRead, reader, nullptr);
}
} // namespace

void ConnectionTest::dispatcherStaysTheSocketsOnlyReader()
{
    // The worker and the service dialog read the socket too when left alone;
    // run after the dispatcher, they would take replies that arrive just
    // after it emptied the socket.
    m_controller->answer(Ver, {QStringLiteral("ORVO KX-MQTR=1.9.0")});
    m_window->isORVOProduct(m_controller->address());
    QVERIFY(LensDeskTestAccess::serviceDialog(*m_window));
    QVERIFY(!readsSocket(LensDeskTestAccess::commandSocket(*m_window), LensDeskTestAccess::serviceDialog(*m_window)));
    TRY_VERIFY(LensDeskTestAccess::motionWorker(*m_window) != nullptr);
    QVERIFY(!readsSocket(LensDeskTestAccess::commandSocket(*m_window), LensDeskTestAccess::motionWorker(*m_window)));
    QVERIFY(!readsSocket(LensDeskTestAccess::commandSocket(*m_window), LensDeskTestAccess::serviceDialog(*m_window)));

    // And the one reader is the dispatcher: a position report still arrives.
    m_controller->sendTo(m_panel->panelPort(), "Zoom=33");
    TRY_COMPARE(named<QLineEdit>(*m_window, "zoomVal")->text(), QStringLiteral("33"));
}

// A monitor being replaced may emit one last loss signal from its thread
// while it is stopped; that signal is delivered after its replacement has
// started, and says nothing about the new connection. The new monitor is
// often allocated where the old one was, so the stale signal's sender can
// look like the current monitor. Nothing makes the race happen on demand:
// the test emits the signal of the monitor being replaced itself, found as
// the window's one liveness monitor among its children.
void ConnectionTest::lossSignalOfAReplacedMonitorIsIgnored()
{
    m_controller->answer(Ver, {QStringLiteral("ORVO RE-2=1.8.3")});
    m_window->isORVOProduct(m_controller->address());
    TRY_VERIFY(m_controller->count(QStringLiteral("getNAME")) == 1);
    QVERIFY(controlsEnabled());

    int reusedAddresses = 0;
    for (int round = 1; round <= 5; ++round) {
        pingWorker* replaced = m_window->findChild<pingWorker*>();
        QVERIFY(replaced && replaced == LensDeskTestAccess::livenessMonitor(*m_window));
        connect(
            replaced, &QThread::finished, replaced,
            [replaced] { emit replaced->cantsendping(QStringLiteral("ERROR")); }, Qt::DirectConnection);
        m_window->isORVOProduct(m_controller->address());
        // "getNAME" follows the replacement and a wait that delivers the
        // stale signal.
        TRY_VERIFY(m_controller->count(QStringLiteral("getNAME")) == round + 1);
        reusedAddresses += LensDeskTestAccess::livenessMonitor(*m_window) == replaced;
        QVERIFY2(controlsEnabled(), qPrintable(QStringLiteral("round %1").arg(round)));
        QVERIFY(named<QLabel>(*m_window, "lensLabel")->text() != QStringLiteral("Lens: N/A"));
    }
    qInfo("the new monitor took the old one's address in %d of 5 replacements", reusedAddresses);

    // The current monitor's loss still marks the controller lost.
    m_controller->forget(Ping);
    QTRY_COMPARE_WITH_TIMEOUT(named<QLabel>(*m_window, "lensLabel")->text(), QStringLiteral("Lens: N/A"), lossWait());
    QVERIFY(!controlsEnabled());
}

void ConnectionTest::strayBurstBeforeIdentificationLeavesTheSocketHeard_data()
{
    QTest::addColumn<int>("strays");
    QTest::addColumn<bool>("fromAnotherHost");
    // The reads of the command socket go in passes of 64 datagrams; the
    // identification handling waits with events, and the first ping's answer
    // arrives during that wait. Every place of the identification around
    // the end of a pass.
    for (int strays = 60; strays <= 67; ++strays)
        QTest::newRow(qPrintable(QStringLiteral("%1 from the controller").arg(strays))) << strays << false;
    // Datagrams of other hosts are read (and dropped) in the same passes.
    for (int strays : {63, 66})
        QTest::newRow(qPrintable(QStringLiteral("%1 from another host").arg(strays))) << strays << true;
}

// The controller answers "ver" with a burst of replies that match no test
// and then its identification, and answers every ping. It must stay
// connected: the panel reads on, whatever the identification's waits did to
// the socket's notifications.
void ConnectionTest::strayBurstBeforeIdentificationLeavesTheSocketHeard()
{
    QFETCH(int, strays);
    QFETCH(bool, fromAnotherHost);
    ScriptedController otherHost;
    QVERIFY(otherHost.isBound());
    const quint16 panelPort = m_panel->panelPort();
    connect(m_controller, &ScriptedController::commandReceived, this, [&](const QString& text) {
        if (text != Ver)
            return;
        for (int i = 1; i <= strays; ++i)
            (fromAnotherHost ? otherHost : *m_controller).sendTo(panelPort, "stray " + QByteArray::number(i));
        m_controller->sendTo(panelPort, "ORVO RE-2=1.8.3");
    });

    m_window->isORVOProduct(m_controller->address());
    QTRY_VERIFY_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(*m_window) != nullptr, TestWaits::identify());
    // Six pings, about 3 s: a deaf panel would have declared the controller
    // lost after the fourth.
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->count(Ping) >= 6, TestWaits::scaled(10000));
    QVERIFY(named<QLabel>(*m_window, "lensLabel")->text() != QStringLiteral("Lens: N/A"));
    QVERIFY(LensDeskTestAccess::livenessMonitor(*m_window)->missedPings() <= 1);
    // And a report sent now is shown.
    m_controller->sendTo(panelPort, "Zoom=42");
    TRY_COMPARE(named<QLineEdit>(*m_window, "zoomVal")->text(), QStringLiteral("42"));
}

LENSDESK_TEST_MAIN_WITH_CHILD(ConnectionTest, "--old-firmware-child", runOldFirmwareChild)

#include "tst_connection.moc"
