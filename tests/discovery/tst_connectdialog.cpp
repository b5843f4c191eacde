// The connect dialog: its widgets, address memory, validation, dismissal,
// picking from the result tree, answer intake, the "Connect to..." action,
// and a real LAN search inside network namespaces made by the test.
#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "ModalAnswerer.h"
#include "NetnsLab.h"
#include "SearchChild.h"
#include "Skip.h"
#include "TestMain.h"

#include "app/LensDesk.h"
#include "base/SettingsStore.h"
#include "discovery/ResultTree.h"
#include "discovery/setIPDlg.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTreeView>
#include <QUdpSocket>
#include <QtTest>

using SearchResults::InterfaceResult;
using SearchResults::Responder;

namespace {

const QString ValidStyle = QStringLiteral("QLineEdit{background: white;}");
const QString InvalidStyle = QStringLiteral("QLineEdit{background: red;}");
// The whole search in the namespaces: three windows of 6 s, twice, and the
// process around them.
constexpr int SearchChildTimeoutMs = 120000;

void forgetStoredAddress()
{
    QScopedPointer<QSettings> settings(SettingsStore::openMain(nullptr));
    settings->remove(SettingsStore::LastControllerAddress.key());
    settings->sync();
}

QString storedAddress()
{
    QScopedPointer<QSettings> settings(SettingsStore::openMain(nullptr));
    return settings->value(SettingsStore::LastControllerAddress.key()).toString();
}

QVector<InterfaceResult> sampleResults()
{
    return {
        {"wlan0", {"192.168.7.20"}, {{"192.168.7.31", "1.8.3", "ORVO RE-2"}}},
        {"eth0",
         {"10.0.0.1", "10.0.1.1"},
         {{"10.0.0.9", "1.7.4", "ORVO RE-2"},
          {"10.0.0.5", "2.0.1", "ORVO KX-MQTR"},
          {"10.0.1.9", "1.7.4", "ORVO RE-2"},
          {"10.0.0.7", "", "ORVO DuvudER"}}},
        {"Ethernet 2", {}, {}},
        {"eth1", {"172.16.0.1"}, {{"172.16.0.2", "300.1.2.3", "ORVO RE-2"}}},
    };
}

QStringList treeTexts(const QStandardItemModel& model)
{
    QStringList lines;
    for (int row = 0; row < model.rowCount(); ++row) {
        lines << QStringLiteral("I ") + model.item(row)->text();
        for (int child = 0; child < model.item(row)->rowCount(); ++child)
            lines << QStringLiteral("C ") + model.item(row)->child(child)->text();
    }
    return lines;
}

} // namespace

class ConnectDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void widgetsAfterConstruction();
    void startsWithTheStoredAddress();
    void validation_data();
    void validation();
    void escapeEmitsNoAddressAndKeepsTheButtonText();
    void windowCloseEmitsNoAddressAndSetsReload();
    void acceptStoresTheAddressAndEmitsIt();
    void otherKeysReachTheDialog();
    void resultTree();
    void singleClickCopiesOnlyAfterKX2();
    void doubleClickOnAControllerAccepts();
    void doubleClickOnAnInterfaceTakesItsLastAddress();
    void invalidPickCannotBeAccepted();
    void answerIntake();
    void answersAreReadInBatches();
    void failedBindIsReported();
    void connectToPausesTheMonitorOfAConnection();
    void realSearchInNamespaces();
};

void ConnectDialogTest::init() { forgetStoredAddress(); }

void ConnectDialogTest::widgetsAfterConstruction()
{
    setIPDlg dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("SetIPDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ORVO :: Lens Controller :: IP Address"));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.minimumSize(), QSize(443, 60));
    QCOMPARE(dialog.maximumSize(), QSize(443, 60));

    struct Expected
    {
        QWidget* widget;
        const char* name;
        QWidget* parent;
        QRect geometry;
    };
    const Expected table[] = {
        {dialog.lineEdit, "lineEdit", &dialog, {130, 19, 116, 20}},
        {dialog.label, "label", &dialog, {57, 21, 71, 16}},
        {dialog.groupBox, "groupBox", &dialog, {11, 8, 421, 41}},
        {dialog.pushButton, "pushButton", dialog.groupBox, {284, 9, 61, 23}},
        {dialog.label_2, "label_2", dialog.groupBox, {10, 10, 21, 21}},
        {dialog.pushButton_2, "pushButton_2", dialog.groupBox, {348, 9, 61, 23}},
        {dialog.browseGroup, "browseGroup", &dialog, {11, 56, 421, 103}},
        {dialog.treeView, "treeView", dialog.browseGroup, {10, 10, 401, 84}},
    };
    for (const Expected& row : table) {
        QCOMPARE(row.widget->objectName(), QLatin1String(row.name));
        QCOMPARE(row.widget->parentWidget(), row.parent);
        QCOMPARE(row.widget->geometry(), row.geometry);
    }
    QCOMPARE(dialog.label->text(), QStringLiteral("Connect to IP:"));
    QCOMPARE(dialog.pushButton->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.pushButton_2->text(), QStringLiteral("BROWSE"));
    QVERIFY(dialog.pushButton_2->isEnabled());
    QCOMPARE(dialog.groupBox->title(), QString());
    QCOMPARE(dialog.browseGroup->title(), QString());
    QVERIFY(dialog.browseGroup->isHidden());
    QVERIFY(dialog.treeView->isHeaderHidden());
    QCOMPARE(dialog.label_2->toolTip(), QStringLiteral("Specify Lens Controller IP Adrress"));
    QVERIFY(dialog.label_2->hasScaledContents());
    QVERIFY(!dialog.label_2->pixmap(Qt::ReturnByValue).isNull());

    // The address field and its caption lie on top of groupBox's frame.
    const QObjectList stacking = dialog.children();
    QVERIFY(stacking.indexOf(dialog.groupBox) < stacking.indexOf(dialog.lineEdit));
    QVERIFY(stacking.indexOf(dialog.groupBox) < stacking.indexOf(dialog.label));
}

void ConnectDialogTest::startsWithTheStoredAddress()
{
    {
        setIPDlg dialog;
        QCOMPARE(dialog.lineEdit->text(), QStringLiteral("192.168."));
        QCOMPARE(dialog.lineEdit->styleSheet(), InvalidStyle);
        QVERIFY(!dialog.pushButton->isEnabled());
        // Typing the fourth octet makes the address acceptable.
        QTest::keyClicks(dialog.lineEdit, QStringLiteral("1.100"));
        QCOMPARE(dialog.lineEdit->styleSheet(), ValidStyle);
        QVERIFY(dialog.pushButton->isEnabled());
    }
    QScopedPointer<QSettings> settings(SettingsStore::openMain(nullptr));
    SettingsStore::LastControllerAddress.write(*settings, QStringLiteral("10.231.7.7"));
    setIPDlg dialog;
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("10.231.7.7"));
    QCOMPARE(dialog.lineEdit->styleSheet(), ValidStyle);
    QVERIFY(dialog.pushButton->isEnabled());

    // An address stored with leading zeros is shown in its decimal form.
    SettingsStore::LastControllerAddress.write(*settings, QStringLiteral("010.231.007.007"));
    setIPDlg older;
    QCOMPARE(older.lineEdit->text(), QStringLiteral("10.231.7.7"));
}

void ConnectDialogTest::validation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("octet 256") << "192.168.1.256" << false;
    QTest::newRow("missing last octet") << "192.168.1." << false;
    QTest::newRow("five octets") << "192.168.1.1.1" << false;
    QTest::newRow("leading zeros") << "010.001.000.099" << true;
    QTest::newRow("plain") << "192.168.1.100" << true;
    QTest::newRow("empty") << "" << false;
}

void ConnectDialogTest::validation()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    setIPDlg dialog;
    dialog.lineEdit->setText(QStringLiteral("10.0.0.1"));
    dialog.lineEdit->setText(text);
    QCOMPARE(dialog.lineEdit->styleSheet(), valid ? ValidStyle : InvalidStyle);
    QCOMPARE(dialog.pushButton->isEnabled(), valid);
}

void ConnectDialogTest::escapeEmitsNoAddressAndKeepsTheButtonText()
{
    setIPDlg dialog;
    QSignalSpy noAddress(&dialog, &setIPDlg::hasNOIP);
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(dialog.lineEdit, Qt::Key_Escape);
    QCOMPARE(noAddress.count(), 1);
    QCOMPARE(address.count(), 0);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.pushButton_2->text(), QStringLiteral("BROWSE"));
}

void ConnectDialogTest::windowCloseEmitsNoAddressAndSetsReload()
{
    setIPDlg dialog;
    QSignalSpy noAddress(&dialog, &setIPDlg::hasNOIP);
    dialog.show();
    QVERIFY(dialog.close());
    QCOMPARE(noAddress.count(), 1);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.pushButton_2->text(), QStringLiteral("RELOAD"));
    QCOMPARE(storedAddress(), QString());
}

void ConnectDialogTest::acceptStoresTheAddressAndEmitsIt()
{
    setIPDlg dialog;
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    QSignalSpy noAddress(&dialog, &setIPDlg::hasNOIP);
    dialog.show();
    dialog.lineEdit->setText(QStringLiteral("010.231.000.042"));
    QTest::mouseClick(dialog.pushButton, Qt::LeftButton);
    QCOMPARE(address.count(), 1);
    // Leading zeros are read as decimal, and from here on the address has
    // one written form: stored, shown and sent.
    QCOMPARE(address.first().first().toString(), QStringLiteral("10.231.0.42"));
    QCOMPARE(noAddress.count(), 0);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(storedAddress(), QStringLiteral("10.231.0.42"));
    setIPDlg next;
    QCOMPARE(next.lineEdit->text(), QStringLiteral("10.231.0.42"));
    // The same dialog, shown again by "Connect to...", shows it so too.
    dialog.show();
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("10.231.0.42"));
    QVERIFY(dialog.pushButton->isEnabled());
}

void ConnectDialogTest::otherKeysReachTheDialog()
{
    setIPDlg dialog;
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    QSignalSpy noAddress(&dialog, &setIPDlg::hasNOIP);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.lineEdit->setFocus();
    QTest::keyClicks(dialog.lineEdit, QStringLiteral("4.5"));
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("192.168.4.5"));
    QCOMPARE(noAddress.count(), 0);
    QCOMPARE(address.count(), 0);
    QVERIFY(dialog.isVisible());
}

void ConnectDialogTest::resultTree()
{
    QStandardItemModel model;
    const QList<QStandardItem*> interfaceRows = ResultTree::fill(model, sampleResults());
    // Sorted by text on both levels, character by character: capitals first.
    const QStringList expected = {
        "I Ethernet 2 []",
        "I eth0 [10.0.0.1,10.0.1.1]",
        "C ORVO DuvudER: [10.0.0.7]  f/w:",
        "C ORVO KX-MQTR: [10.0.0.5]  f/w:2.0.1",
        "C ORVO RE-2: [10.0.0.9]  f/w:1.7.4",
        "C ORVO RE-2: [10.0.1.9]  f/w:1.7.4",
        "I eth1 [172.16.0.1]",
        "C ORVO RE-2: [172.16.0.2]  f/w:300.1.2.3",
        "I wlan0 [192.168.7.20]",
        "C ORVO RE-2: [192.168.7.31]  f/w:1.8.3",
    };
    QCOMPARE(treeTexts(model), expected);
    QCOMPARE(model.columnCount(), 1);

    // The interface rows in the order of the interfaces.
    QCOMPARE(interfaceRows.size(), 4);
    QCOMPARE(interfaceRows.first()->text(), QStringLiteral("wlan0 [192.168.7.20]"));

    const QStandardItem* eth0 = model.item(1);
    QCOMPARE(eth0->font().family(), QStringLiteral("MS Shell Dlg 2"));
    QCOMPARE(eth0->font().pointSize(), 8);
    QCOMPARE(eth0->font().weight(), int(QFont::Bold));
    QVERIFY(!eth0->isEditable());
    QVERIFY(!eth0->icon().isNull());
    const QStandardItem* powerZoom = eth0->child(1);
    const QStandardItem* general = eth0->child(2);
    QCOMPARE(general->font().family(), QStringLiteral("MS Shell Dlg 2"));
    QCOMPARE(general->font().pointSize(), 8);
    QCOMPARE(general->font().weight(), int(QFont::Light));
    QVERIFY(!general->isEditable());
    // Three distinct pictures: interface, power-zoom controller, other controller.
    const auto key = [](const QStandardItem* item) { return item->icon().pixmap(16, 16).toImage(); };
    QVERIFY(!general->icon().isNull() && !powerZoom->icon().isNull());
    QVERIFY(key(general) != key(powerZoom));
    QVERIFY(key(general) != key(eth0));
    QVERIFY(key(powerZoom) != key(eth0));
}

void ConnectDialogTest::singleClickCopiesOnlyAfterKX2()
{
    setIPDlg dialog;
    ResultTree::fill(*dialog.resultModel(), {{"KX2 link", {"10.9.8.7"}, {{"10.0.0.9", "1.7.4", "ORVO RE-2"}}}});
    dialog.treeView->setModel(dialog.resultModel());
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    const QModelIndex interfaceRow = dialog.resultModel()->index(0, 0);
    const QModelIndex controllerRow = dialog.resultModel()->index(0, 0, interfaceRow);

    emit dialog.treeView->clicked(controllerRow);
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("192.168."));
    emit dialog.treeView->clicked(interfaceRow);
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("10.9.8.7"));
    QVERIFY(dialog.pushButton->isEnabled());
    QVERIFY(!address.wait(TestWaits::quiet()));
    QCOMPARE(dialog.pushButton_2->text(), QStringLiteral("BROWSE"));
}

void ConnectDialogTest::doubleClickOnAControllerAccepts()
{
    setIPDlg dialog;
    dialog.show();
    ResultTree::fill(*dialog.resultModel(), sampleResults());
    dialog.treeView->setModel(dialog.resultModel());
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    const QModelIndex eth0 = dialog.resultModel()->index(1, 0);
    const QModelIndex controller = dialog.resultModel()->index(1, 0, eth0); // KX-MQTR at 10.0.0.5
    emit dialog.treeView->doubleClicked(controller);
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("10.0.0.5"));
    QCOMPARE(dialog.pushButton_2->text(), QStringLiteral("RELOAD"));
    QVERIFY(address.wait(TestWaits::reply()));
    QCOMPARE(address.first().first().toString(), QStringLiteral("10.0.0.5"));
    QCOMPARE(storedAddress(), QStringLiteral("10.0.0.5"));
    QVERIFY(!dialog.isVisible());
}

void ConnectDialogTest::doubleClickOnAnInterfaceTakesItsLastAddress()
{
    setIPDlg dialog;
    dialog.show();
    ResultTree::fill(*dialog.resultModel(), sampleResults());
    dialog.treeView->setModel(dialog.resultModel());
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    emit dialog.treeView->doubleClicked(dialog.resultModel()->index(1, 0)); // eth0 [10.0.0.1,10.0.1.1]
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("10.0.1.1"));
    QVERIFY(address.wait(TestWaits::reply()));
    QCOMPARE(address.first().first().toString(), QStringLiteral("10.0.1.1"));

    // A row without an address changes nothing.
    setIPDlg other;
    ResultTree::fill(*other.resultModel(), sampleResults());
    QSignalSpy otherAddress(&other, &setIPDlg::hasIP);
    other.lineEdit->setText(QStringLiteral("10.9.9.9"));
    other.treeViewDoubleClick(other.resultModel()->index(0, 0)); // Ethernet 2 []
    QCOMPARE(other.lineEdit->text(), QStringLiteral("10.9.9.9"));
    QCOMPARE(other.pushButton_2->text(), QStringLiteral("BROWSE"));
    QVERIFY(!otherAddress.wait(TestWaits::quiet()));
}

void ConnectDialogTest::invalidPickCannotBeAccepted()
{
    setIPDlg dialog;
    dialog.show();
    dialog.lineEdit->setText(QStringLiteral("10.0.0.1"));
    ResultTree::fill(*dialog.resultModel(), sampleResults());
    QSignalSpy address(&dialog, &setIPDlg::hasIP);
    // A firmware version that looks like an address ends the row: the pick
    // takes it, and its 300 fails the validation.
    const QModelIndex eth1 = dialog.resultModel()->index(2, 0);
    dialog.treeViewDoubleClick(dialog.resultModel()->index(0, 0, eth1));
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("300.1.2.3"));
    QCOMPARE(dialog.lineEdit->styleSheet(), InvalidStyle);
    QVERIFY(!dialog.pushButton->isEnabled());
    QVERIFY(!address.wait(TestWaits::quiet()));
    QTest::mouseClick(dialog.pushButton, Qt::LeftButton);
    QCOMPARE(address.count(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(storedAddress(), QString());

    // The same through a single click on a row naming KX2.
    dialog.resultModel()->removeRows(0, dialog.resultModel()->rowCount());
    ResultTree::fill(*dialog.resultModel(), {{"eth9", {}, {{"10.0.0.9", "1.2.3.999", "ORVO RE-2 KX2"}}}});
    dialog.lineEdit->setText(QStringLiteral("10.0.0.1"));
    dialog.treeViewOneClick(dialog.resultModel()->index(0, 0, dialog.resultModel()->index(0, 0)));
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("1.2.3.999"));
    QVERIFY(!dialog.pushButton->isEnabled());
    QTest::mouseClick(dialog.pushButton, Qt::LeftButton);
    QCOMPARE(address.count(), 0);
}

void ConnectDialogTest::answerIntake()
{
    setIPDlg dialog;
    QUdpSocket* search = dialog.openSearchSocket(QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(search->state(), QAbstractSocket::BoundState);
    QVERIFY(search->localPort() >= 60000 && search->localPort() <= 65000);
    QCOMPARE(dialog.searchSockets().size(), 1);

    QUdpSocket controller;
    QVERIFY(controller.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const auto send = [&](const QByteArray& datagram) {
        QCOMPARE(controller.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), search->localPort()),
                 qint64(datagram.size()));
    };
    const int largest = 65507;
    QByteArray huge = QByteArrayLiteral("ORVO RE-2=1.8.3");
    huge.append(QByteArray(largest - huge.size(), 'x'));
    send(QByteArrayLiteral("hello"));
    send(QByteArrayLiteral("ver"));
    send(QByteArrayLiteral("ORVO RE-2"));                         // no "=": empty version
    send(QByteArrayLiteral("\xff\xfeORVO KX-MQTR=\xc3\x28\x80")); // invalid UTF-8
    send(QByteArray(300, '\xff'));
    send(huge);
    send(QByteArray("ORVO DuvudER=1.0\0ORVO RE-2=9", 28)); // text ends at the NUL
    send(QByteArrayLiteral("orvo re-2=1.8.3"));
    send(QByteArrayLiteral("ORVO RE-2=1.8.4"));

    TRY_COMPARE(dialog.pendingReplies().size(), 5);
    const QString sender = QStringLiteral("127.0.0.1");
    const auto& replies = dialog.pendingReplies();
    QCOMPARE(replies.at(0), (Responder{sender, QString(), "ORVO RE-2"}));
    QCOMPARE(replies.at(1).address, sender);
    QVERIFY(replies.at(1).product.endsWith(QLatin1String("ORVO KX-MQTR")));
    QVERIFY(replies.at(1).version.contains(QChar::ReplacementCharacter));
    QCOMPARE(replies.at(2).product, QStringLiteral("ORVO RE-2"));
    QCOMPARE(replies.at(2).version.size(), largest - 10);
    QVERIFY(replies.at(2).version.startsWith(QLatin1String("1.8.3xxx")));
    QCOMPARE(replies.at(3), (Responder{sender, "1.0", "ORVO DuvudER"}));
    // The odd answers shift nothing: the last one keeps its own version.
    QCOMPARE(replies.at(4), (Responder{sender, "1.8.4", "ORVO RE-2"}));
    QVERIFY(!search->hasPendingDatagrams());
}

// Answers wait in a search socket together; one notification reads a batch
// of them, and the rest follow on later turns of the event loop, so that a
// flood of answers cannot hold off the end of the listening window.
void ConnectDialogTest::answersAreReadInBatches()
{
    setIPDlg dialog;
    QUdpSocket* search = dialog.openSearchSocket(QHostAddress(QHostAddress::LocalHost));
    QUdpSocket controller;
    QVERIFY(controller.bind(QHostAddress(QHostAddress::LocalHost), 0));
    constexpr int Answers = 150;
    for (int i = 1; i <= Answers; ++i)
        controller.writeDatagram("ORVO RE-2=1.8." + QByteArray::number(i), QHostAddress(QHostAddress::LocalHost),
                                 search->localPort());
    emit search->readyRead();
    const int afterOnePass = dialog.pendingReplies().size();
    QVERIFY2(afterOnePass >= 1 && afterOnePass < Answers, qPrintable(QString::number(afterOnePass)));
    TRY_COMPARE(dialog.pendingReplies().size(), Answers);
    for (int i = 0; i < Answers; ++i)
        QCOMPARE(dialog.pendingReplies().at(i).version, QStringLiteral("1.8.%1").arg(i + 1));
}

void ConnectDialogTest::failedBindIsReported()
{
    setIPDlg dialog;
    dialog.show();
    ModalAnswerer modals;
    ModalAnswerer::Box box;
    modals.expectBox(QMessageBox::Ok, &box);
    // No interface of this host has this address, so the bind fails; nothing is sent.
    QUdpSocket* socket = dialog.openSearchSocket(QHostAddress(QStringLiteral("10.231.255.254")));
    QCOMPARE(modals.pending(), 0);
    QCOMPARE(box.title, QStringLiteral("Error"));
    QCOMPARE(box.text, QStringLiteral("Can't bind to 10.231.255.254"));
    QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(dialog.searchSockets().size(), 1);
}

void ConnectDialogTest::connectToPausesTheMonitorOfAConnection()
{
    ConnectedWindow panel;
    LensDesk& window = panel.window();
    window.show();
    QVERIFY(LensDeskTestAccess::connectDialog(window));
    QVERIFY(LensDeskTestAccess::connectDialog(window)->isVisible());
    QVERIFY(LensDeskTestAccess::connectDialog(window)->isModal());
    LensDeskTestAccess::connectDialog(window)->hide();

    // Before any connection there is nothing to pause: "Connect to..." only
    // shows the dialog again.
    named<QAction>(window, "actionSetIP")->trigger();
    QVERIFY(LensDeskTestAccess::connectDialog(window)->isVisible());
    LensDeskTestAccess::connectDialog(window)->hide();

    // Connected, the pings would go unanswered while the operator picks
    // another controller: the monitor rests.
    QVERIFY(panel.identify());
    QVERIFY(!LensDeskTestAccess::livenessMonitor(window)->isPaused());
    named<QAction>(window, "actionSetIP")->trigger();
    QVERIFY(LensDeskTestAccess::livenessMonitor(window)->isPaused());
    QVERIFY(LensDeskTestAccess::connectDialog(window)->isVisible());
    LensDeskTestAccess::connectDialog(window)->hide();
}

void ConnectDialogTest::realSearchInNamespaces()
{
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());

    NetnsLab lab;
    auto cleanup = qScopeGuard([&lab] { lab.tearDown(); });
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));
    // Device A answers each of the two probes of link a; device B answers
    // with its whole repertoire, odd datagrams included, in arrival order
    // unlike the sorted one.
    QVERIFY2(lab.startResponder(lab.deviceA, {"ORVO RE-2=1.8.3"}, &error), qPrintable(error));
    QVERIFY2(
        lab.startResponder(lab.deviceB, {"ORVO RE-2=1.8.3", "hello", "ORVO KX-MQTR=2.0.1", "ORVO DuvudER"}, &error),
        qPrintable(error));

    // The address-less link is searched too: a row, a window, no probe.
    QVERIFY2(lab.setLinkUp(lab.linkM, true, &error), qPrintable(error));

    QByteArray output;
    QVERIFY2(lab.runInPanel(QCoreApplication::applicationFilePath(), {SearchChild::Argument, SearchChild::LateReply},
                            SearchChildTimeoutMs, &output, &error),
             qPrintable(error));
    int late = -1;
    int deleted = -1;
    int sockets = -1;
    const QList<SearchChild::Search> searches = SearchChild::parse(output, &late, &deleted, &sockets);
    QCOMPARE(searches.size(), 2);

    // Interfaces sorted by text (they were enumerated z, a, m), each listing
    // the answers its own window received: device A twice, once per probing
    // address; device B's answers sorted, its "hello" dropped.
    const QStringList expected = {
        QStringLiteral("I %1 [10.231.1.1,10.231.3.1]").arg(lab.linkA),
        "C ORVO RE-2: [10.231.1.2]  f/w:1.8.3",
        "C ORVO RE-2: [10.231.1.2]  f/w:1.8.3",
        QStringLiteral("I %1 []").arg(lab.linkM),
        QStringLiteral("I %1 [10.231.2.1]").arg(lab.linkZ),
        "C ORVO DuvudER: [10.231.2.2]  f/w:",
        "C ORVO KX-MQTR: [10.231.2.2]  f/w:2.0.1",
        "C ORVO RE-2: [10.231.2.2]  f/w:1.8.3",
    };
    QCOMPARE(searches.at(0).tree, expected);
    QCOMPARE(sockets, 3);
    // Three kept interfaces, one 6 s window each.
    const int windows = 3 * setIPDlg::ListeningWindowMs;
    QVERIFY2(searches.at(0).milliseconds >= windows, qPrintable(output));
    QVERIFY2(searches.at(0).milliseconds < windows + 30000, qPrintable(output));
    // The window kept turning while it listened (a 50 ms timer would tick
    // 360 times; a frozen window lets none through).
    QVERIFY2(searches.at(0).ticks > 60, qPrintable(output));
    QVERIFY2(searches.at(0).paints > 0, qPrintable(output));

    // A late answer was held, and the next search dropped it.
    QCOMPARE(late, 1);
    QCOMPARE(searches.at(1).tree, expected);
    // A deletion requested during the search waited for its end.
    QCOMPARE(deleted, 1);
}

LENSDESK_TEST_MAIN_WITH_CHILD(ConnectDialogTest, SearchChild::Argument, SearchChild::run)

#include "tst_connectdialog.moc"
