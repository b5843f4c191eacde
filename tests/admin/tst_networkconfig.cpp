#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"
#include "TestMain.h"

#include "admin/changeIPDlg.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QGroupBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {
const QString RedField = QStringLiteral("QLineEdit{background: red;}");
const QString WhiteField = QStringLiteral("QLineEdit{background: white;}");
// Where the controller moves to in an address change, and that address as
// an operator may type it, every octet with leading zeros.
const QHostAddress NewControllerAddress = LoopbackAddress::host(72);
QString withLeadingZeros(const QHostAddress& address)
{
    QStringList octets;
    for (const QString& octet : address.toString().split(QLatin1Char('.')))
        octets << QStringLiteral("%1").arg(octet.toInt(), 3, 10, QLatin1Char('0'));
    return octets.join(QLatin1Char('.'));
}
} // namespace

// The change-IP dialog, the address change and the DHCP switch.
class NetworkConfigTest : public QObject
{
    Q_OBJECT

private slots:
    void dialogStartsWithUnfinishedFields();
    void invalidAddressDisablesApply_data();
    void invalidAddressDisablesApply();
    void invalidMaskDisablesApply();
    void gatewayGuessFollowsEveryEdit();
    void applyHidesAndCarriesTheTexts_data();
    void applyHidesAndCarriesTheTexts();
    void escapeIsIgnoredAndCloseHides();
    void currentSettingsShowReportedValues();
    void openingQueriesTheCurrentSettings();
    void addressChangeSequence_data();
    void addressChangeSequence();
    void listingFailureIsReportedAndChangeGoesOn();
    void dhcpChoice_data();
    void dhcpChoice();
};

void NetworkConfigTest::dialogStartsWithUnfinishedFields()
{
    changeIPDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Change IP Settings"));
    QCOMPARE(dialog.newIP->text(), QStringLiteral("192.168."));
    QCOMPARE(dialog.newMASK->text(), QStringLiteral("255.255.255."));
    QCOMPARE(dialog.newIP->styleSheet(), RedField);
    QCOMPARE(dialog.newMASK->styleSheet(), RedField);
    QVERIFY(dialog.newGW->text().isEmpty());
    QVERIFY(!dialog.applyButton->isEnabled());
    QVERIFY(dialog.cancelButton->isEnabled());
    QVERIFY(!dialog.groupBox->isEnabled());
    // The fields that belong to the dialog lie above the group boxes they sit on.
    QList<QWidget*> stacking;
    for (QObject* child : dialog.children())
        if (auto* widget = qobject_cast<QWidget*>(child))
            stacking << widget;
    QCOMPARE(stacking,
             QList<QWidget*>({dialog.groupBox_2, dialog.groupBox, dialog.lineEdit, dialog.lineEdit_2, dialog.newIP,
                              dialog.applyButton, dialog.cancelButton}));
    for (QLineEdit* current : {dialog.lineEdit, dialog.lineEdit_2, dialog.lineEdit_3}) {
        QVERIFY(current->isReadOnly());
        QVERIFY(!current->isEnabled());
        QVERIFY(current->text().isEmpty());
    }
}

void NetworkConfigTest::invalidAddressDisablesApply_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");

    QTest::newRow("ordinary") << "192.168.1.77" << true;
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("broadcast") << "255.255.255.255" << true;
    QTest::newRow("leading zeros") << "010.001.002.077" << true;
    QTest::newRow("unfinished") << "192.168.1." << false;
    QTest::newRow("octet above 255") << "192.168.1.256" << false;
    QTest::newRow("five octets") << "1.2.3.4.5" << false;
    QTest::newRow("leading blank") << " 1.2.3.4" << false;
    QTest::newRow("trailing line feed") << "1.2.3.4\n" << false;
    QTest::newRow("four-digit octet") << "1.2.3.0004" << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("negative octet") << "1.2.3.-4" << false;
}

void NetworkConfigTest::invalidAddressDisablesApply()
{
    QFETCH(QString, address);
    QFETCH(bool, valid);

    changeIPDlg dialog;
    dialog.newMASK->setText(QStringLiteral("255.255.255.0"));
    dialog.newIP->setText(address);
    QCOMPARE(dialog.isAddressValid(), valid);
    QCOMPARE(dialog.newIP->styleSheet(), valid ? WhiteField : RedField);
    QCOMPARE(dialog.applyButton->isEnabled(), valid);
}

void NetworkConfigTest::invalidMaskDisablesApply()
{
    changeIPDlg dialog;
    dialog.newIP->setText(QStringLiteral("192.168.1.77"));
    QVERIFY(!dialog.applyButton->isEnabled());
    dialog.newMASK->setText(QStringLiteral("255.255.255.0"));
    QVERIFY(dialog.applyButton->isEnabled());
    dialog.newMASK->setText(QStringLiteral("255.255.255.0.0"));
    QCOMPARE(dialog.newMASK->styleSheet(), RedField);
    QVERIFY(!dialog.applyButton->isEnabled());
    // The gateway keeps the last guess while the mask is invalid.
    QCOMPARE(dialog.newGW->text(), QStringLiteral("192.168.1.1"));
}

void NetworkConfigTest::gatewayGuessFollowsEveryEdit()
{
    changeIPDlg dialog;
    dialog.newIP->setText(QStringLiteral("192.168.1.77"));
    dialog.newMASK->setText(QStringLiteral("255.255.255.0"));
    QCOMPARE(dialog.newGW->text(), QStringLiteral("192.168.1.1"));
    dialog.newMASK->setText(QStringLiteral("255.255.0.0"));
    QCOMPARE(dialog.newGW->text(), QStringLiteral("192.168.0.1"));

    // An edited gateway is replaced by a fresh guess on the next valid edit.
    dialog.newGW->setText(QStringLiteral("192.168.1.254"));
    dialog.newIP->setText(QStringLiteral("192.168.7.78"));
    QCOMPARE(dialog.newGW->text(), QStringLiteral("192.168.0.1"));
    dialog.newGW->setText(QStringLiteral("192.168.1.254"));
    dialog.newMASK->setText(QStringLiteral("255.255.255.0"));
    QCOMPARE(dialog.newGW->text(), QStringLiteral("192.168.7.1"));

    // An invalid edit leaves the gateway alone.
    dialog.newGW->setText(QStringLiteral("192.168.7.254"));
    dialog.newIP->setText(QStringLiteral("192.168.7."));
    QCOMPARE(dialog.newGW->text(), QStringLiteral("192.168.7.254"));
}

void NetworkConfigTest::applyHidesAndCarriesTheTexts_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("carried");
    // The gateway field is not checked: it is sent as it stands.
    const QStringList plain{"10.231.4.20", "255.255.255.0", "gateway?"};
    dataRow("plain", plain, plain);
    // Leading zeros are decimal; the controller is given the one written form.
    const QStringList withZeros{"010.231.004.020", "255.255.255.000", "010.231.004.001"};
    dataRow("leading zeros", withZeros, QStringList{"10.231.4.20", "255.255.255.0", "10.231.4.1"});
}

void NetworkConfigTest::applyHidesAndCarriesTheTexts()
{
    QFETCH(QStringList, typed);
    QFETCH(QStringList, carried);
    changeIPDlg dialog;
    QSignalSpy settings(&dialog, &changeIPDlg::newIPSettings);
    dialog.show();
    dialog.newIP->setText(typed.at(0));
    dialog.newMASK->setText(typed.at(1));
    dialog.newGW->setText(typed.at(2));
    dialog.applyButton->click();
    QVERIFY(dialog.isHidden());
    QCOMPARE(settings.count(), 1);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(settings.at(0).at(i).toString(), carried.at(i));

    dialog.show();
    dialog.cancelButton->click();
    QVERIFY(dialog.isHidden());
    QCOMPARE(settings.count(), 1);
    // What was typed is kept for the next showing.
    QCOMPARE(dialog.newIP->text(), typed.at(0));
}

void NetworkConfigTest::escapeIsIgnoredAndCloseHides()
{
    changeIPDlg dialog;
    QSignalSpy settings(&dialog, &changeIPDlg::newIPSettings);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());

    QVERIFY(dialog.close());
    QVERIFY(dialog.isHidden());
    QCOMPARE(settings.count(), 0);
}

void NetworkConfigTest::currentSettingsShowReportedValues()
{
    changeIPDlg dialog;
    dialog.setCurrentAddress(QStringLiteral("10.231.9.9"));
    dialog.showCurrentSettings();
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("10.231.9.9"));
    QCOMPARE(dialog.lineEdit_2->text(), QStringLiteral("n/a"));
    QCOMPARE(dialog.lineEdit_3->text(), QStringLiteral("n/a"));
    dialog.setCurrentMask(QStringLiteral("255.255.0.0"));
    dialog.setCurrentGateway(QStringLiteral("10.231.0.1"));
    dialog.showCurrentSettings();
    QCOMPARE(dialog.lineEdit_2->text(), QStringLiteral("255.255.0.0"));
    QCOMPARE(dialog.lineEdit_3->text(), QStringLiteral("10.231.0.1"));
}

void NetworkConfigTest::openingQueriesTheCurrentSettings()
{
    ConnectedWindow panel;
    ScriptedController& controller = panel.controller();
    QVERIFY(controller.isBound());
    LensDesk* window = &panel.window();

    QElapsedTimer clock;
    clock.start();
    window->changeIPAddress();
    const qint64 took = clock.elapsed();

    QVERIFY(window->findChild<changeIPDlg*>()->isVisible());
    QCOMPARE(controller.receivedUntilNow(), QStringList({"getIP", "getMASK", "getGW"}));
    // 200, 200 and 300 ms waits; generous lower bounds for arrival jitter.
    QVERIFY2(controller.timeOf(1) - controller.timeOf(0) >= 150, "getMASK too early");
    QVERIFY2(controller.timeOf(2) - controller.timeOf(1) >= 150, "getGW too early");
    QVERIFY(took >= 690);
    window->findChild<changeIPDlg*>()->hide();
}

void NetworkConfigTest::addressChangeSequence_data()
{
    QTest::addColumn<QString>("typedAddress");
    QTest::newRow("as the controller reports it") << NewControllerAddress.toString();
    // Read in decimal, and sent and used in that form only.
    QTest::newRow("with leading zeros") << withLeadingZeros(NewControllerAddress);
}

void NetworkConfigTest::addressChangeSequence()
{
    QFETCH(QString, typedAddress);
    ConnectedWindow panel;
    ScriptedController& oldController = panel.controller();
    ScriptedController newController(NewControllerAddress);
    QVERIFY(oldController.isBound() && newController.isBound());
    LensDesk* window = &panel.window();
    const QString oldAddress = oldController.address();

    int flushes = 0;
    QStringList commandsBeforeFlush;
    QString addressAtFlush;
    LensDeskTestAccess::replaceAddressCacheFlush(*window, [&] {
        ++flushes;
        commandsBeforeFlush = oldController.commands();
        addressAtFlush = LensDeskTestAccess::controllerAddress(*window);
        return 0;
    });

    // Connected to the old address; its liveness monitor pings there. From
    // here on only the address change pauses and resumes the monitor.
    QVERIFY(panel.identify());
    QVERIFY(oldController.waitFor(QStringLiteral("ping")));
    QVERIFY(panel.stopAnsweringPings());
    oldController.clear();
    const pingWorker* monitor = LensDeskTestAccess::livenessMonitor(*window);
    QCOMPARE(monitor->address(), oldAddress);
    // Whether the monitor rested each time a command of the change arrived.
    bool restedDuringChange = true;
    connect(&oldController, &ScriptedController::commandReceived, this, [&](const QString& text) {
        if (text != QLatin1String("ping"))
            restedDuringChange = restedDuringChange && monitor->isPaused();
    });

    changeIPDlg* dialog = window->findChild<changeIPDlg*>();
    dialog->show();
    dialog->newIP->setText(typedAddress);
    dialog->newMASK->setText(QStringLiteral("255.0.0.0"));
    QCOMPARE(dialog->newGW->text(), QStringLiteral("127.0.0.1"));

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(dialog->applyButton, Qt::LeftButton);
    const qint64 took = clock.elapsed();
    QVERIFY(dialog->isHidden());

    const QStringList expected = {"ChangeIP=" + NewControllerAddress.toString(), "ChangeMASK=255.0.0.0",
                                  "ChangeGW=127.0.0.1", "Reboot"};
    QCOMPARE(oldController.commands(), expected);

    // The four commands 100 ms apart, with no ping in between.
    QVERIFY(restedDuringChange);
    const QStringList all = oldController.texts();
    const int first = all.indexOf(expected.first());
    const int last = all.indexOf(expected.last());
    QCOMPARE(last - first, 3);
    for (int i = first + 1; i <= last; ++i)
        QVERIFY2(oldController.timeOf(i) - oldController.timeOf(i - 1) >= 60, qPrintable(all.at(i)));

    // The cache is flushed once, after the reboot order, with the new address current.
    QCOMPARE(flushes, 1);
    QCOMPARE(commandsBeforeFlush, expected);
    QCOMPARE(addressAtFlush, NewControllerAddress.toString());
    // Four 100 ms waits and the 3 s restart wait.
    QVERIFY(took >= 3390);

    QCOMPARE(LensDeskTestAccess::controllerAddress(*window), NewControllerAddress.toString());
    QVERIFY(!monitor->isPaused());
    // The monitor was resumed, still aimed at the old address.
    TRY_VERIFY(oldController.texts().lastIndexOf(QStringLiteral("ping")) > last);

    // Later commands go to the new address.
    window->getName();
    QVERIFY(newController.waitFor(QStringLiteral("getNAME")));
    QCOMPARE(oldController.commands(), expected);
}

void NetworkConfigTest::listingFailureIsReportedAndChangeGoesOn()
{
    ConnectedWindow panel;
    ScriptedController& oldController = panel.controller();
    QVERIFY(oldController.isBound());
    LensDesk* window = &panel.window();
    LensDeskTestAccess::replaceAddressCacheFlush(*window, [] { return 111; });

    ModalAnswerer& answerer = panel.modals();
    QString title;
    QString text;
    QStringList commandsAtBox;
    answerer.expect<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        commandsAtBox = oldController.commands();
        box->button(QMessageBox::Ok)->click();
    });

    window->updateIPSettings(NewControllerAddress.toString(), QStringLiteral("255.0.0.0"), QStringLiteral("127.0.0.1"));

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(title, QStringLiteral("File error"));
    QCOMPARE(text, QStringLiteral("GetAdaptersInfo failed with error:  = 111"));
    QCOMPARE(commandsAtBox.size(), 4);
    QCOMPARE(LensDeskTestAccess::controllerAddress(*window), NewControllerAddress.toString());
}

void NetworkConfigTest::dhcpChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("command");

    QTest::newRow("enable") << "Enable" << true << "setDHCP=1";
    QTest::newRow("disable") << "Disable" << true << "setDHCP=0";
    QTest::newRow("cancel") << "Disable" << false << "";
}

void NetworkConfigTest::dhcpChoice()
{
    QFETCH(QString, choice);
    QFETCH(bool, accept);
    QFETCH(QString, command);

    ConnectedWindow panel;
    ScriptedController& controller = panel.controller();
    QVERIFY(controller.isBound());
    LensDesk* window = &panel.window();
    QVERIFY(!named<QAction>(*window, "actionDHCP")->isEnabled());

    ModalAnswerer& answerer = panel.modals();
    QStringList items;
    QString initial;
    QString label;
    QString title;
    answerer.expect<QInputDialog>([&](QInputDialog* dialog) {
        title = dialog->windowTitle();
        label = dialog->labelText();
        items = dialog->comboBoxItems();
        initial = dialog->textValue();
        QVERIFY(!dialog->isComboBoxEditable());
        dialog->setTextValue(choice);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    window->setDHCP();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(title, QStringLiteral("DHCP"));
    QCOMPARE(label, QStringLiteral("Set DHCP:"));
    QCOMPARE(items, QStringList({"Enable", "Disable"}));
    QCOMPARE(initial, QStringLiteral("Enable"));

    QStringList expected;
    if (!command.isEmpty())
        expected << command;
    QCOMPARE(controller.receivedUntilNow(), expected);
}

LENSDESK_TEST_MAIN(NetworkConfigTest)

#include "tst_networkconfig.moc"
