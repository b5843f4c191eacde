#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "TestMain.h"

#include "app/ClickableLabel.h"
#include "base/Branding.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

// Restart, focus init, the name, the focus time-out and the protocol menu.
class DeviceOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void simpleCommandsResumeTheMonitor_data();
    void simpleCommandsResumeTheMonitor();
    void name_data();
    void name();
    void focusTimeout_data();
    void focusTimeout();
    void protocolMenuReplacesTheToggle();
    void protocolChoice_data();
    void protocolChoice();

private:
    // The commands that reached the controller so far.
    QStringList commandsSoFar() { return m_panel->controller().receivedUntilNow(); }

    std::unique_ptr<ConnectedWindow> m_panel;
    LensDesk* window = nullptr;
};

void DeviceOptionsTest::init()
{
    m_panel = std::make_unique<ConnectedWindow>();
    QVERIFY(m_panel->controller().isBound());
    window = &m_panel->window();
}

void DeviceOptionsTest::cleanup() { m_panel.reset(); }

void DeviceOptionsTest::simpleCommandsResumeTheMonitor_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("minimumMs");

    QTest::newRow("restart") << 0 << "Reboot" << 1990;
    QTest::newRow("focus init") << 1 << "refRange" << 0;
    QTest::newRow("name query") << 2 << "getNAME" << 0;
    QTest::newRow("focus time-out query") << 3 << "setFocusT" << 0;
}

void DeviceOptionsTest::simpleCommandsResumeTheMonitor()
{
    QFETCH(int, operation);
    QFETCH(QString, command);
    QFETCH(int, minimumMs);

    // A connected controller that has left pings unanswered, and a monitor
    // that rests while the operator picks another controller.
    QVERIFY(m_panel->identify());
    QVERIFY(m_panel->stopAnsweringPings());
    const pingWorker* monitor = LensDeskTestAccess::livenessMonitor(*window);
    TRY_VERIFY(monitor->missedPings() >= 2);
    named<QAction>(*window, "actionSetIP")->trigger();
    QVERIFY(monitor->isPaused());
    QVERIFY(monitor->missedPings() >= 2);
    QVERIFY(m_panel->controller().awaitReceived());
    m_panel->controller().clear();

    QElapsedTimer clock;
    clock.start();
    switch (operation) {
    case 0:
        window->rebootDevice();
        break;
    case 1:
        window->focusReInit();
        break;
    case 2:
        window->getName();
        break;
    default:
        window->getFocusTimeout();
        break;
    }
    QVERIFY(clock.elapsed() >= minimumMs);
    QCOMPARE(commandsSoFar(), QStringList({command}));
    // Counting from zero again: at most the ping that left at once.
    QVERIFY(!monitor->isPaused());
    QVERIFY2(monitor->missedPings() <= 1, qPrintable(QString::number(monitor->missedPings())));
}

void DeviceOptionsTest::name_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("tooLongBox");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("storedName");

    const QString site = QLatin1String(MakerSite);
    dataRow("long name cut to 7", "abcdefghij", true, true, QStringList{"setNAME=abcdefg"}, "<b>ABCDEFG<b>", "ABCDEFG");
    dataRow("short name", "cam1", true, false, QStringList{"setNAME=cam1"}, "<b>CAM1<b>", "CAM1");
    dataRow("markup shown as text", "<i>&", true, false, QStringList{"setNAME=<i>&"}, "<b>&lt;I&gt;&amp;<b>", "<I>&");
    dataRow("three blanks", "   ", true, false, QStringList{"setNAME=   "}, site, "   ");
    dataRow("empty becomes seven blanks", "", true, false, QStringList{"setNAME=       "}, site, "       ");
    dataRow("cancelled", "cam2", false, false, QStringList{}, "<b>OLD<b>", "OLD");
    dataRow("cancelled long name", "abcdefghij", false, false, QStringList{}, "<b>OLD<b>", "OLD");
}

void DeviceOptionsTest::name()
{
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(bool, tooLongBox);
    QFETCH(QStringList, sent);
    QFETCH(QString, label);
    QFETCH(QString, storedName);

    // The name the operator gave the controller before.
    ModalAnswerer& answerer = m_panel->modals();
    answerer.expect<QInputDialog>([](QInputDialog* dialog) {
        dialog->setTextValue(QStringLiteral("old"));
        dialog->accept();
    });
    window->setName();
    QCOMPARE(LensDeskTestAccess::deviceName(*window), QStringLiteral("OLD"));
    QCOMPARE(named<ClickableLabel>(*window, "nameLabel")->text(), QStringLiteral("<b>OLD<b>"));
    QCOMPARE(commandsSoFar(), QStringList{"setNAME=old"});
    m_panel->controller().clear();

    answerer.expect<QInputDialog>([&](QInputDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("KX2 Name"));
        QCOMPARE(dialog->labelText(), QStringLiteral("KX2 Name"));
        QVERIFY(dialog->textValue().isEmpty());
        dialog->setTextValue(typed);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    QString boxText;
    if (tooLongBox) {
        answerer.expect<QMessageBox>([&](QMessageBox* box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Name Error"));
            boxText = box->text();
            box->button(QMessageBox::Ok)->click();
        });
    }

    window->setName();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    if (tooLongBox)
        QCOMPARE(boxText, QStringLiteral("KX2 name should be not more than 7 symbols"));
    QCOMPARE(commandsSoFar(), sent);
    QCOMPARE(named<ClickableLabel>(*window, "nameLabel")->text(), label);
    QCOMPARE(LensDeskTestAccess::deviceName(*window), storedName);
}

void DeviceOptionsTest::focusTimeout_data()
{
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("entered");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("startValue");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<int>("stored");

    dataRow("upper bound", -1, 10000, true, 1, QStringList{"setFocusT", "setFocusT=10000"}, 10000);
    dataRow("lower bound", 250, 1, true, 250, QStringList{"setFocusT", "setFocusT=1"}, 1);
    dataRow("above the bound is held at it", 250, 10001, true, 250, QStringList{"setFocusT", "setFocusT=10000"}, 10000);
    dataRow("zero is held at the minimum", 250, 0, true, 250, QStringList{"setFocusT", "setFocusT=1"}, 1);
    dataRow("cancelled", 250, 700, false, 250, QStringList{"setFocusT"}, 250);
}

void DeviceOptionsTest::focusTimeout()
{
    QFETCH(int, reported);
    QFETCH(int, entered);
    QFETCH(bool, accept);
    QFETCH(int, startValue);
    QFETCH(QStringList, sent);
    QFETCH(int, stored);

    // What the controller last reported (nothing before any report).
    if (reported >= 0) {
        m_panel->controller().sendTo(m_panel->panelPort(), QStringLiteral("T=%1").arg(reported).toLatin1());
        TRY_COMPARE(LensDeskTestAccess::focusTimeout(*window), reported);
    }
    QCOMPARE(LensDeskTestAccess::focusTimeout(*window), reported);
    ModalAnswerer& answerer = m_panel->modals();
    int minimum = 0;
    int maximum = 0;
    int start = 0;
    answerer.expect<QInputDialog>([&](QInputDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Set Focus Timeout"));
        QCOMPARE(dialog->labelText(), QStringLiteral("Focus Timeout,ms:"));
        minimum = dialog->intMinimum();
        maximum = dialog->intMaximum();
        start = dialog->intValue();
        dialog->setIntValue(entered);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    window->setFocusTimeout();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(minimum, 1);
    QCOMPARE(maximum, 10000);
    QCOMPARE(start, startValue);
    QCOMPARE(commandsSoFar(), sent);
    QCOMPARE(LensDeskTestAccess::focusTimeout(*window), stored);
}

void DeviceOptionsTest::protocolMenuReplacesTheToggle()
{
    const QList<QAction*> entries = named<QMenu>(*window, "menuSettings")->actions();
    const int toggleAt = entries.indexOf(named<QAction>(*window, "actionSwitch_Proto_version"));
    QVERIFY(toggleAt > 0);
    QCOMPARE(entries.at(toggleAt - 1), named<QMenu>(*window, "protocolMenu")->menuAction());
    QVERIFY(!named<QAction>(*window, "actionSwitch_Proto_version")->isVisible());
    QCOMPARE(named<QMenu>(*window, "protocolMenu")->title(), QStringLiteral("Lens Protocol"));
    QCOMPARE(named<QMenu>(*window, "protocolMenu")->toolTip(),
             QStringLiteral("Lens bus framing. FW 1.9.0 drives all tested lenses in Universal mode."));

    // Before any identification: the texts of older firmware.
    QCOMPARE(named<QMenu>(*window, "protocolMenu")->actions().at(0)->text(), QStringLiteral("Standard (default)"));
    QCOMPARE(named<QMenu>(*window, "protocolMenu")->actions().at(1)->text(),
             QStringLiteral("Tail framing (Sigma / 18-135 workaround)"));
    QVERIFY(!named<QMenu>(*window, "protocolMenu")->actions().at(2)->isVisible());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(named<QMenu>(*window, "protocolMenu")->actions().at(i)->data().toInt(), i);
        QCOMPARE(named<QMenu>(*window, "protocolMenu")->actions().at(i)->isChecked(), i == 0);
    }
    QCOMPARE(LensDeskTestAccess::currentProtocol(*window), 0);

    // The hidden toggle no longer reaches the controller.
    named<QAction>(*window, "actionSwitch_Proto_version")->setChecked(true);
    QCOMPARE(commandsSoFar(), QStringList());
}

void DeviceOptionsTest::protocolChoice_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<bool>("questionExpected");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<int>("protocolAfter");

    const QString older = QStringLiteral("1.8.3");
    const QString recent = QStringLiteral("1.9.0");
    QTest::newRow("already checked entry") << older << 0 << false << false << QStringList{} << 0;
    QTest::newRow("declined") << older << 1 << true << false << QStringList{} << 0;
    QTest::newRow("confirmed") << older << 1 << true << true << QStringList{"setProto=1"} << 1;
    QTest::newRow("confirmed legacy timing") << recent << 2 << true << true << QStringList{"setProto=2"} << 2;
    // The entry is hidden there; triggered all the same, it changes nothing.
    QTest::newRow("legacy timing before 1.9") << older << 2 << false << false << QStringList{} << 0;
}

void DeviceOptionsTest::protocolChoice()
{
    QFETCH(QString, firmware);
    QFETCH(int, chosen);
    QFETCH(bool, questionExpected);
    QFETCH(bool, confirm);
    QFETCH(QStringList, sent);
    QFETCH(int, protocolAfter);

    // Connected to a controller with this firmware.
    QVERIFY(m_panel->identify(QStringLiteral("ORVO RE-2=") + firmware));
    QVERIFY(m_panel->controller().awaitReceived());
    m_panel->controller().clear();
    ModalAnswerer& answerer = m_panel->modals();
    ModalAnswerer::Box question;
    if (questionExpected)
        answerer.expectBox(confirm ? QMessageBox::Yes : QMessageBox::No, &question);
    QAction* entry = named<QMenu>(*window, "protocolMenu")->actions().at(chosen);
    entry->trigger();

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    if (questionExpected) {
        QCOMPARE(question.title, QStringLiteral("Lens Protocol"));
        QCOMPARE(question.text,
                 QStringLiteral("Switch the lens protocol to <b>%1</b>?<br><br>The controller restarts to apply it.")
                     .arg(entry->text()));
    }
    QCOMPARE(commandsSoFar(), sent);
    QCOMPARE(LensDeskTestAccess::currentProtocol(*window), protocolAfter);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(named<QMenu>(*window, "protocolMenu")->actions().at(i)->isChecked(), i == protocolAfter);
}

LENSDESK_TEST_MAIN(DeviceOptionsTest)

#include "tst_deviceoptions.moc"
