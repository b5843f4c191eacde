#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"
#include "TestMain.h"

#include "admin/masterDlg.h"
#include "discovery/setIPDlg.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
const QString RedField = QStringLiteral("QLineEdit{background: red;}");
const QString WhiteField = QStringLiteral("QLineEdit{background: white;}");

// Shows a window and makes it the active one, so that its window
// shortcuts answer.
bool activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

void pressServiceKeys(QWidget* target) { QTest::keyClick(target, Qt::Key_F10, Qt::ControlModifier | Qt::AltModifier); }
} // namespace

// The service dialog: opening with its queries, the vendor unlock, the MAC
// hint, the checks before writing and the four writes.
class ServiceDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutAndTabOrder();
    void shortcutBeforeAnyAttemptDoesNothing();
    void shortcutQueriesAndOpens();
    void macHint_data();
    void macHint();
    void writing_data();
    void writing();
    void drainEmptiesTheSocket();
    void replacedDuringItsOwnWaits_data();
    void replacedDuringItsOwnWaits();

private:
    // The commands that reached the controller so far.
    QStringList commandsSoFar() { return controller->receivedUntilNow(); }
    void connectWithKeys();

    std::unique_ptr<ConnectedWindow> m_panel;
    ScriptedController* controller = nullptr;
    LensDesk* window = nullptr;
    QString controllerAddress;
    // What a dialog made by a test sends through: a socket of the test's own.
    QUdpSocket dialogSocket;
};

void ServiceDialogTest::init()
{
    m_panel = std::make_unique<ConnectedWindow>();
    controller = &m_panel->controller();
    QVERIFY(controller->isBound());
    controllerAddress = controller->address();
    window = &m_panel->window();
    QVERIFY(dialogSocket.state() == QAbstractSocket::BoundState
            || dialogSocket.bind(QHostAddress(QHostAddress::LocalHost), 0));
    // A focus value counts as a reporting controller: showing the window then
    // opens no connect dialog.
    named<QLineEdit>(*window, "focusVal")->setText(QStringLiteral("500"));
}

void ServiceDialogTest::cleanup() { m_panel.reset(); }

void ServiceDialogTest::layoutAndTabOrder()
{
    masterDlg dialog(controllerAddress, &dialogSocket);
    QCOMPARE(dialog.objectName(), QStringLiteral("master"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("HW Settings"));
    QCOMPARE(dialog.minimumWidth(), 235);
    QCOMPARE(dialog.maximumWidth(), 235);
    QCOMPARE(dialog.minimumHeight(), 189);
    QCOMPARE(dialog.maximumHeight(), 300);
    QCOMPARE(dialog.okButton->text(), QStringLiteral("Write"));
    for (QLineEdit* field :
         {dialog.macEdit, dialog.snEdit, dialog.hwEdit, dialog.fwEdit, dialog.blEdit, dialog.vndEdit})
        QCOMPARE(field->text(), QStringLiteral("n/a"));
    QVERIFY(!dialog.fwEdit->isEnabled());
    QVERIFY(!dialog.blEdit->isEnabled());
    QVERIFY(!dialog.vndEdit->isEnabled());

    // Walking the focus chain from the MAC field meets the tab stops in this order.
    const QList<QWidget*> order = {dialog.macEdit,  dialog.snEdit, dialog.hwEdit,
                                   dialog.okButton, dialog.fwEdit, dialog.blEdit};
    QList<QWidget*> met = {dialog.macEdit};
    for (QWidget* w = dialog.macEdit->nextInFocusChain(); w != dialog.macEdit && met.size() < order.size();
         w = w->nextInFocusChain()) {
        if (order.contains(w))
            met << w;
    }
    QCOMPARE(met, order);
}

void ServiceDialogTest::shortcutBeforeAnyAttemptDoesNothing()
{
    QVERIFY(activate(window));
    QVERIFY(!LensDeskTestAccess::serviceDialog(*window));
    pressServiceKeys(window);
    QCOMPARE(commandsSoFar(), QStringList());
    QVERIFY(window->findChildren<masterDlg*>().isEmpty());
}

void ServiceDialogTest::shortcutQueriesAndOpens()
{
    // A connection attempt, stopped before any answer, gives the window its
    // service dialog.
    QVERIFY(activate(window));
    connectWithKeys();
    QVERIFY(pressCancelOfProgress(window));
    masterDlg* dialog = LensDeskTestAccess::serviceDialog(*window);
    QVERIFY(dialog);
    QVERIFY(controller->awaitReceived());
    controller->clear();

    QVERIFY(activate(window));
    pressServiceKeys(window);

    const QStringList queries = {"getSN", "getMAC", "getHW", "blver", "getVENDOR", "ver"};
    QCOMPARE(commandsSoFar(), queries);
    // 200 ms between consecutive queries; a generous lower bound for jitter.
    for (int i = 1; i < queries.size(); ++i)
        QVERIFY2(controller->timeOf(i) - controller->timeOf(i - 1) >= 150, qPrintable(queries.at(i)));
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QVERIFY(!dialog->vndEdit->isEnabled());

    // The same keys inside the dialog unlock the vendor field...
    QVERIFY(activate(dialog));
    pressServiceKeys(dialog);
    QVERIFY(dialog->vndEdit->isEnabled());
    // ...until the next opening.
    window->showMasterDialog();
    QVERIFY(!dialog->vndEdit->isEnabled());
}

void ServiceDialogTest::macHint_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<bool>("valid");

    QTest::newRow("decimal octets") << "0-17-34-51-68-85" << true;
    QTest::newRow("colons") << "00:11:22:33:44:55" << false;
}

void ServiceDialogTest::macHint()
{
    QFETCH(QString, mac);
    QFETCH(bool, valid);

    masterDlg dialog(controllerAddress, &dialogSocket);
    dialog.macEdit->setText(mac);
    QCOMPARE(dialog.macEdit->styleSheet(), valid ? WhiteField : RedField);
}

void ServiceDialogTest::writing_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("hardware");
    QTest::addColumn<QString>("warning");

    const QString serialWarning = QStringLiteral("SN wersion should be in range 15000-65535");
    const QString hardwareWarning = QStringLiteral("HW version should be <255");
    dataRow("lowest serial, highest hardware", "15000", "255", "");
    dataRow("highest serial", "65535", "0", "");
    dataRow("serial 14999", "14999", "1", serialWarning);
    dataRow("serial 65536", "65536", "1", serialWarning);
    dataRow("serial not reported", "n/a", "1", serialWarning);
    dataRow("hardware 256", "20000", "256", hardwareWarning);
    dataRow("both bad: hardware first", "14999", "256", hardwareWarning);
}

void ServiceDialogTest::writing()
{
    QFETCH(QString, serial);
    QFETCH(QString, hardware);
    QFETCH(QString, warning);

    masterDlg dialog(controllerAddress, &dialogSocket);
    dialog.show();
    dialog.snEdit->setText(serial);
    dialog.hwEdit->setText(hardware);
    // Colons are only a hint: the MAC is written as typed.
    dialog.macEdit->setText(QStringLiteral("00:11:22:33:44:55"));

    ModalAnswerer& answerer = m_panel->modals();
    ModalAnswerer::Box box;
    if (!warning.isEmpty())
        answerer.expectBox(QMessageBox::Ok, &box);
    dialog.okButton->click();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);

    if (warning.isEmpty()) {
        // The vendor field was never unlocked: its text is written all the same.
        QCOMPARE(commandsSoFar(),
                 QStringList({"setSN=" + serial, "ChangeMAC=00:11:22:33:44:55", "setHW=" + hardware, "setVND=n/a"}));
        QVERIFY(dialog.isHidden());
    } else {
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.text, warning);
        QCOMPARE(commandsSoFar(), QStringList());
        QVERIFY(dialog.isVisible());
    }
}

void ServiceDialogTest::drainEmptiesTheSocket()
{
    const QHostAddress local = LoopbackAddress::next();
    QUdpSocket socket;
    QVERIFY(socket.bind(local, 0));
    masterDlg dialog(controllerAddress, &socket);
    QSignalSpy arrivals(&socket, &QUdpSocket::readyRead);
    QUdpSocket sender;
    sender.writeDatagram(QByteArrayLiteral("SN=15001"), local, socket.localPort());
    QVERIFY(arrivals.wait(TestWaits::reply()));
    QVERIFY(!socket.hasPendingDatagrams());
    // Emptied, the socket announces the next datagram again.
    sender.writeDatagram(QByteArrayLiteral("SN=15002"), local, socket.localPort());
    TRY_COMPARE(arrivals.count(), 2);
    QVERIFY(!socket.hasPendingDatagrams());
}

// "Connect to..." (Ctrl+C), the controller's address, Enter: a connection
// attempt, which gives the window a new service dialog.
void ServiceDialogTest::connectWithKeys()
{
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
    setIPDlg* chosen = nullptr;
    for (setIPDlg* dialog : window->findChildren<setIPDlg*>()) {
        if (dialog->isVisible())
            chosen = dialog;
    }
    QVERIFY(chosen);
    chosen->lineEdit->setText(controllerAddress);
    QTest::keyClick(chosen->lineEdit, Qt::Key_Return);
    QVERIFY(!chosen->isVisible());
}

void ServiceDialogTest::replacedDuringItsOwnWaits_data()
{
    QTest::addColumn<bool>("writing");
    QTest::addColumn<QStringList>("sequence");
    dataRow("identity queries", false, QStringList{"getSN", "getMAC", "getHW", "getVENDOR"});
    dataRow("identity writes", true, QStringList{"setSN=15001", "ChangeMAC=2-0-0-17-34-51", "setHW=3", "setVND=n/a"});
}

// A connection attempt started while the service dialog waits between its
// commands replaces the dialog. The replaced one finishes its sequence (an
// identity is never half written) and goes only then; it is not shown.
void ServiceDialogTest::replacedDuringItsOwnWaits()
{
    QFETCH(bool, writing);
    QFETCH(QStringList, sequence);
    QVERIFY(activate(window));
    connectWithKeys();
    QVERIFY(pressCancelOfProgress(window));
    QCOMPARE(window->findChildren<masterDlg*>().size(), 1);
    masterDlg* replaced = window->findChildren<masterDlg*>().constFirst();
    const QPointer<masterDlg> alive(replaced);

    QVERIFY(activate(window));
    if (writing) {
        pressServiceKeys(window);
        QVERIFY(replaced->isVisible());
        replaced->snEdit->setText(QStringLiteral("15001"));
        replaced->macEdit->setText(QStringLiteral("2-0-0-17-34-51"));
        replaced->hwEdit->setText(QStringLiteral("3"));
        // Within the 10 ms after the first write.
        QTimer::singleShot(0, this, [this] { connectWithKeys(); });
        replaced->okButton->click();
    } else {
        // Within the second of the queries.
        QTimer::singleShot(300, this, [this] { connectWithKeys(); });
        pressServiceKeys(window);
    }
    QVERIFY(pressCancelOfProgress(window));

    QStringList commands = commandsSoFar();
    for (const char* probe : {"blver", "getProto", "ver"})
        commands.removeAll(QLatin1String(probe));
    QCOMPARE(commands.mid(commands.size() - sequence.size()), sequence);
    TRY_VERIFY(alive.isNull());
    const QList<masterDlg*> dialogs = window->findChildren<masterDlg*>();
    QCOMPARE(dialogs.size(), 1);
    QVERIFY(!dialogs.constFirst()->isVisible());
    QCOMPARE(m_panel->modals().unexpected(), 0);
}

LENSDESK_TEST_MAIN(ServiceDialogTest)

#include "tst_servicedialog.moc"
