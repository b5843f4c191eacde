#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "TestMain.h"

#include "admin/masterDlg.h"
#include "app/ClickableLabel.h"
#include "base/Branding.h"
#include "lens/zoomWorker.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QStatusBar>
#include <QTextDocument>
#include <QThread>
#include <QtTest>

#include <memory>

// Replies from a scripted controller on loopback, through the window's reply
// handling, to a window connected to it (an "ORVO KX-MQTR", whose pings the
// controller answers with "AF=0": a lens switched to manual focus). Every
// case ends with a marker reply ("T=n", see ConnectedWindow::report), so that
// once the marker is seen everything sent before it has been handled.
class DispatcherTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void apertureRange_data();
    void apertureRange();
    void zoomRangeBuildsLensLabel_data();
    void zoomRangeBuildsLensLabel();
    void focusRangeEndsSequence();
    void noLensEndsSequence();
    void lensDescriptionIsTooltip();
    void protocolReply_data();
    void protocolReply();
    void stabiliserReplies();
    void names_data();
    void names();
    void controllerErrorIsNotAPosition();
    void positionsReachMotionWorker();
    void nameContainingZoomIsAlsoAPosition();
    void currentPositions();
    void identityReachesServiceDialog();
    void pendingDatagramsAllHandledInOrder();
    void otherSendersAreIgnored();
    void badInputIsSurvived();
    void onlyAnAnswerBeginningWithAModelIdentifies_data();
    void onlyAnAnswerBeginningWithAModelIdentifies();
    void lensDescriptionMarkupIsShownAsText();
    void deviceLineMarkupIsShownAsText();
    void streamIsReadInBatches();

private:
    quint16 panelPort() const { return m_panel->panelPort(); }
    // Sends the datagrams back to back, then a marker, and waits for it.
    void deliver(const QList<QByteArray>& datagrams) { QVERIFY(m_panel->report(datagrams)); }

    std::unique_ptr<ConnectedWindow> m_panel;
    LensDesk* m_window = nullptr;
    ScriptedController* m_controller = nullptr;
};

namespace {
const QString Identification = QStringLiteral("ORVO KX-MQTR=1.9.0");
const QString IdentifiedProduct = QStringLiteral("ORVO KX-MQTR");

// What a label or tooltip shows: rich text rendered, anything else as it is.
QString shownText(const QString& text, Qt::TextFormat format = Qt::AutoText)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}
} // namespace

void DispatcherTest::init()
{
    m_panel = std::make_unique<ConnectedWindow>();
    m_window = &m_panel->window();
    m_controller = &m_panel->controller();
    QVERIFY(m_controller->isBound());
    // The connection gives the window its f-number scale, its service dialog
    // and the motion worker that keeps the reported positions.
    m_controller->answer(QStringLiteral("ping"), {QStringLiteral("AF=0")});
    QVERIFY(m_panel->identify(Identification));
    QVERIFY(!LensDeskTestAccess::afEnabled(*m_window));
}

void DispatcherTest::cleanup() { m_panel.reset(); }

void DispatcherTest::apertureRange_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("openCaption");
    QTest::addColumn<QString>("closeCaption");
    QTest::addColumn<int>("sliderMinimum");
    QTest::addColumn<int>("sliderMaximum");
    QTest::addColumn<float>("minimumFNumber");
    dataRow("3.5 to 22", QByteArray("aRange=3.5,22"), "f/3.5", "f/22", 11, 27, 3.5f);
    dataRow("1.4 to 16", QByteArray("aRange=1.4,16"), "f/1.4", "f/16", 3, 24, 1.4f);
    dataRow("no aperture", QByteArray("aRange=255,255"), "n/a", "n/a", 0, 0, 0.0f);
    dataRow("one end beyond f/90", QByteArray("aRange=3.5,95"), "n/a", "n/a", 0, 0, 0.0f);
}

void DispatcherTest::apertureRange()
{
    QFETCH(QByteArray, reply);
    named<QSlider>(*m_window, "irisSlider")->setRange(5, 6);
    deliver({reply});
    QTEST(named<QPushButton>(*m_window, "pushButtonOpen")->text(), "openCaption");
    QTEST(named<QPushButton>(*m_window, "pushButtonClose")->text(), "closeCaption");
    QTEST(named<QSlider>(*m_window, "irisSlider")->minimum(), "sliderMinimum");
    QTEST(named<QSlider>(*m_window, "irisSlider")->maximum(), "sliderMaximum");
    QTEST(LensDeskTestAccess::minimumFNumber(*m_window), "minimumFNumber");
}

void DispatcherTest::zoomRangeBuildsLensLabel_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("lensLabel");
    QTest::newRow("zoom lens") << QByteArray("zRange=18,55") << "Lens: <b>18-55mm f/3.5</b>";
    QTest::newRow("prime lens") << QByteArray("zRange=50,50") << "Lens: <b>50mm f/3.5</b>";
}

void DispatcherTest::zoomRangeBuildsLensLabel()
{
    QFETCH(QByteArray, reply);
    // A lens attached after none was found.
    deliver({"nolensfound", "aRange=3.5,22"});
    QVERIFY(!named<QSlider>(*m_window, "irisSlider")->isEnabled());
    deliver({reply});
    QTEST(named<QLabel>(*m_window, "lensLabel")->text(), "lensLabel");
    const QStringList ends = QString::fromLatin1(reply.mid(7)).split(QLatin1Char(','));
    QCOMPARE(LensDeskTestAccess::zoomRangeWide(*m_window), ends.at(0).toInt());
    QCOMPARE(LensDeskTestAccess::zoomRangeTele(*m_window), ends.at(1).toInt());
    QCOMPARE(named<QLabel>(*m_window, "label_7")->text(), ends.at(0) + QStringLiteral("mm"));
    QCOMPARE(named<QLabel>(*m_window, "label_8")->text(), ends.at(1) + QStringLiteral("mm"));
    QCOMPARE(named<QSlider>(*m_window, "zoomSlider")->minimum(), ends.at(0).toInt());
    QCOMPARE(named<QSlider>(*m_window, "zoomSlider")->maximum(), ends.at(1).toInt());
    // A known lens enables the controls.
    QVERIFY(named<QSlider>(*m_window, "irisSlider")->isEnabled());
}

void DispatcherTest::focusRangeEndsSequence()
{
    deliver({"aRange=3.5,22", "zRange=18,55"});
    named<QLabel>(*m_window, "lensLabel")->setText(QStringLiteral("before"));
    // Waits on the reply's own effect: a marker would build the lens label.
    // "AF=" after the end of the sequence must not be looked at.
    m_controller->sendTo(panelPort(), "fRange=7,1023AF=1");
    TRY_COMPARE(named<QLabel>(*m_window, "label_20")->text(), QStringLiteral("7"));
    QCOMPARE(named<QLabel>(*m_window, "label_18")->text(),
             QStringLiteral("0")); // "1023AF" is not a number
    QCOMPARE(named<QLabel>(*m_window, "lensLabel")->text(), QStringLiteral("before"));
    QVERIFY(!LensDeskTestAccess::afEnabled(*m_window));

    m_controller->sendTo(panelPort(), "fRange=0,1023");
    TRY_COMPARE(named<QLabel>(*m_window, "label_18")->text(), QStringLiteral("1023"));
    QCOMPARE(named<QLabel>(*m_window, "label_20")->text(), QStringLiteral("0"));
    QCOMPARE(named<QSlider>(*m_window, "focusSlider")->minimum(), 0);
    QCOMPARE(named<QSlider>(*m_window, "focusSlider")->maximum(), 1023);
    QCOMPARE(named<QLabel>(*m_window, "lensLabel")->text(), QStringLiteral("before"));
}

void DispatcherTest::noLensEndsSequence()
{
    named<QLabel>(*m_window, "label_20")->setText(QStringLiteral("0"));
    named<QPushButton>(*m_window, "pushButtonOpen")->setText(QStringLiteral("f/3.5"));
    deliver({"nolensfound AF=1"});
    QCOMPARE(named<QLineEdit>(*m_window, "zoomVal")->text(), QStringLiteral("N/A"));
    QCOMPARE(named<QLineEdit>(*m_window, "irisVal")->text(), QStringLiteral("N/A"));
    QCOMPARE(named<QLabel>(*m_window, "lensLabel")->text(), QStringLiteral("Lens: N/A"));
    QVERIFY(named<QLabel>(*m_window, "label_20")->text().isEmpty());
    QVERIFY(named<QPushButton>(*m_window, "pushButtonOpen")->text().isEmpty());
    QVERIFY(!LensDeskTestAccess::afEnabled(*m_window));
}

void DispatcherTest::lensDescriptionIsTooltip()
{
    deliver({"Lens=EF 50mm f/1.8 II"});
    QCOMPARE(named<QLabel>(*m_window, "lensLabel")->toolTip(), QStringLiteral("EF 50mm f/1.8 II"));
}

void DispatcherTest::protocolReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("protocol");
    QTest::newRow("2") << QByteArray("Proto=2") << 2;
    QTest::newRow("1") << QByteArray("Proto=1") << 1;
    QTest::newRow("out of range") << QByteArray("Proto=7") << 0;
    QTest::newRow("negative") << QByteArray("Proto=-1") << 0;
    QTest::newRow("not a number") << QByteArray("Proto=x") << 0;
}

void DispatcherTest::protocolReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, protocol);
    deliver({"Proto=1"});
    QCOMPARE(LensDeskTestAccess::currentProtocol(*m_window), 1);
    QVERIFY(named<QMenu>(*m_window, "protocolMenu")->actions().at(1)->isChecked());
    deliver({reply});
    QCOMPARE(LensDeskTestAccess::currentProtocol(*m_window), protocol);
    QVERIFY(named<QMenu>(*m_window, "protocolMenu")->actions().at(protocol)->isChecked());
}

void DispatcherTest::stabiliserReplies()
{
    named<QCheckBox>(*m_window, "checkBoxIS")->setEnabled(false);
    // "ISactive=1" does not contain "IS=": only the tick changes.
    deliver({"ISactive=1"});
    QVERIFY(named<QCheckBox>(*m_window, "checkBoxIS")->isChecked());
    QVERIFY(!named<QCheckBox>(*m_window, "checkBoxIS")->isEnabled());
    deliver({"IS=1"});
    QVERIFY(named<QCheckBox>(*m_window, "checkBoxIS")->isEnabled());
    deliver({"IS=0"});
    QVERIFY(!named<QCheckBox>(*m_window, "checkBoxIS")->isEnabled());
    deliver({"ISactive=0"});
    QVERIFY(!named<QCheckBox>(*m_window, "checkBoxIS")->isChecked());
}

void DispatcherTest::names_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::newRow("blank name") << QByteArray("NAME=       ") << QString::fromLatin1(MakerSite);
    QTest::newRow("empty name") << QByteArray("NAME=") << QString::fromLatin1(MakerSite);
    QTest::newRow("real name") << QByteArray("NAME=cam1") << "<b>CAM1<b>";
    QTest::newRow("padded with NULs") << QByteArray("NAME=cam1\0\0\0", 12) << "<b>CAM1<b>";
    QTest::newRow("blanks kept inside") << QByteArray("NAME= ab ") << "<b> AB <b>";
    QTest::newRow("markup shown as text") << QByteArray("NAME=a<i>&") << "<b>A&lt;I&gt;&amp;<b>";
}

void DispatcherTest::names()
{
    QFETCH(QByteArray, reply);
    named<ClickableLabel>(*m_window, "nameLabel")->setText(QStringLiteral("before"));
    deliver({reply});
    QTEST(named<ClickableLabel>(*m_window, "nameLabel")->text(), "shown");
}

void DispatcherTest::controllerErrorIsNotAPosition()
{
    QVERIFY(m_panel->leaveMovesUnconfirmed());
    deliver({"Focus=777"});
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->focusPos.load(), 777);
    QVERIFY(!LensDeskTestAccess::focusDoneFlag(*m_window));
    deliver({"errorFocus"});
    QVERIFY(LensDeskTestAccess::focusDoneFlag(*m_window));
    QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Controller: errorFocus"));
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->focusPos.load(), 777);
    // The message goes after its 3 seconds.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->statusBar()->currentMessage().isEmpty(), 3000 + TestWaits::reply());
}

void DispatcherTest::positionsReachMotionWorker()
{
    QVERIFY(m_panel->leaveMovesUnconfirmed());
    deliver({"nolensfound"});
    QVERIFY(!LensDeskTestAccess::irisDoneFlag(*m_window));
    QVERIFY(!LensDeskTestAccess::zoomDoneFlag(*m_window));
    QVERIFY(!LensDeskTestAccess::focusDoneFlag(*m_window));
    QVERIFY(!named<QSlider>(*m_window, "focusSlider")->isEnabled());
    // An iris position counts as the iris settled; there is no "irisDone".
    deliver({"Zoom=1234", "Focus=850", "Iris=5.6", "zoomDone", "focusDone"});
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->zoomPos.load(), 1234);
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->focusPos.load(), 850);
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->irisPos.load(), 5.6f);
    QVERIFY(LensDeskTestAccess::irisDoneFlag(*m_window));
    QVERIFY(LensDeskTestAccess::zoomDoneFlag(*m_window));
    QVERIFY(LensDeskTestAccess::focusDoneFlag(*m_window));
    QVERIFY(named<QSlider>(*m_window, "focusSlider")->isEnabled());
}

void DispatcherTest::nameContainingZoomIsAlsoAPosition()
{
    deliver({"Zoom=500"});
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->zoomPos.load(), 500);
    deliver({"NAME=Zoom"});
    QCOMPARE(named<ClickableLabel>(*m_window, "nameLabel")->text(), QStringLiteral("<b>ZOOM<b>"));
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->zoomPos.load(), 0);
}

void DispatcherTest::currentPositions()
{
    deliver({"Current=1200,850,5.6"});
    QCOMPARE(LensDeskTestAccess::currentZoom(*m_window), 1200);
    QCOMPARE(LensDeskTestAccess::currentFocus(*m_window), 850);
    QCOMPARE(LensDeskTestAccess::currentIris(*m_window), 5.6f);

    // An operator dragging the focus slider keeps its focus read-out.
    named<QSlider>(*m_window, "focusSlider")->setSliderDown(true);
    deliver({"Current=1300,900,8"});
    named<QSlider>(*m_window, "focusSlider")->setSliderDown(false);
    QCOMPARE(LensDeskTestAccess::currentZoom(*m_window), 1300);
    QCOMPARE(LensDeskTestAccess::currentFocus(*m_window), 850);
    QCOMPARE(LensDeskTestAccess::currentIris(*m_window), 8.0f);

    // Missing positions are skipped.
    deliver({"Current=1400"});
    QCOMPARE(LensDeskTestAccess::currentZoom(*m_window), 1400);
    QCOMPARE(LensDeskTestAccess::currentFocus(*m_window), 850);
    QCOMPARE(LensDeskTestAccess::currentIris(*m_window), 8.0f);
}

void DispatcherTest::identityReachesServiceDialog()
{
    // The firmware shown is the identification's, without the boot loader.
    deliver({"SN=15001", "MAC=0-80-163-1-2-3", "HW=3", "BL=255", "VENDOR=acme"});
    masterDlg* service = LensDeskTestAccess::serviceDialog(*m_window);
    QCOMPARE(LensDeskTestAccess::serialNumber(*m_window), QStringLiteral("15001"));
    QCOMPARE(service->snEdit->text(), QStringLiteral("15001"));
    QCOMPARE(LensDeskTestAccess::macAddress(*m_window), QStringLiteral("0-80-163-1-2-3"));
    QCOMPARE(service->macEdit->text(), QStringLiteral("0-80-163-1-2-3"));
    QCOMPARE(LensDeskTestAccess::hardwareVersion(*m_window), QStringLiteral("3"));
    QCOMPARE(service->hwEdit->text(), QStringLiteral("3"));
    QCOMPARE(service->fwEdit->text(), QStringLiteral("1.9.0"));
    QCOMPARE(LensDeskTestAccess::bootloaderVersion(*m_window), QStringLiteral("1"));
    QCOMPARE(service->blEdit->text(), QStringLiteral("1"));
    QCOMPARE(LensDeskTestAccess::vendorInfo(*m_window), QStringLiteral("acme"));
    QCOMPARE(service->vndEdit->text(), QStringLiteral("acme"));

    // Blanks only keep the vendor text; another boot loader is kept as sent.
    deliver({"VENDOR=    ", "BL=3"});
    QCOMPARE(LensDeskTestAccess::vendorInfo(*m_window), QStringLiteral("acme"));
    QCOMPARE(LensDeskTestAccess::bootloaderVersion(*m_window), QStringLiteral("3"));

    // Before any connection attempt there is no service dialog; the device
    // record is kept all the same.
    ConnectedWindow unconnected;
    QVERIFY(!LensDeskTestAccess::serviceDialog(unconnected.window()));
    QVERIFY(unconnected.report({"SN=15002"}));
    QCOMPARE(LensDeskTestAccess::serialNumber(unconnected.window()), QStringLiteral("15002"));
}

void DispatcherTest::pendingDatagramsAllHandledInOrder()
{
    // Sent back to back, so that they wait in the socket together: a move's
    // end followed closely by position reports, then two time-outs.
    QVERIFY(m_panel->leaveMovesUnconfirmed());
    QVERIFY(!LensDeskTestAccess::zoomDoneFlag(*m_window));
    deliver({"zoomDone", "Zoom=321", "BL=5", "SN=17000", "T=1", "T=2"});
    QVERIFY(LensDeskTestAccess::zoomDoneFlag(*m_window));
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->zoomPos.load(), 321);
    QCOMPARE(LensDeskTestAccess::bootloaderVersion(*m_window), QStringLiteral("5"));
    QCOMPARE(LensDeskTestAccess::serialNumber(*m_window), QStringLiteral("17000"));

    // Order: the later of two answers is the one that stays.
    QList<QByteArray> burst;
    for (int i = 1; i <= 50; ++i)
        burst << "SN=" + QByteArray::number(i);
    deliver(burst);
    QCOMPARE(LensDeskTestAccess::serialNumber(*m_window), QStringLiteral("50"));
}

void DispatcherTest::otherSendersAreIgnored()
{
    ScriptedController intruder;
    QVERIFY(intruder.isBound());
    const QPointer<const pingWorker> monitor = LensDeskTestAccess::livenessMonitor(*m_window);
    named<QLabel>(*m_window, "deviceInfoLabel")->setText(QStringLiteral("before"));
    intruder.sendTo(panelPort(), "ORVO RE-2=1.8.3");
    intruder.sendTo(panelPort(), "SN=666");
    intruder.sendTo(panelPort(), "T=999");
    deliver({"HW=2"});
    QCOMPARE(LensDeskTestAccess::hardwareVersion(*m_window), QStringLiteral("2"));
    QVERIFY(LensDeskTestAccess::serialNumber(*m_window).isEmpty());
    QCOMPARE(LensDeskTestAccess::productName(*m_window), IdentifiedProduct);
    QCOMPARE(named<QLabel>(*m_window, "deviceInfoLabel")->text(), QStringLiteral("before"));
    // No new connection was set up.
    QVERIFY(monitor);
}

void DispatcherTest::badInputIsSurvived()
{
    QRandomGenerator random(20261209);
    QList<QByteArray> noise;
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes(int(random.bounded(300)), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        noise << bytes;
    }
    deliver(noise);

    const QByteArray longName = "NAME=" + QByteArray(65507 - 5, 'a');
    deliver({longName, QByteArray(), QByteArray(16, '\0'),
             "\xff\xfe\xc0\xaf"
             "zRange=\xed\xa0\x80,7"});
    QVERIFY(named<ClickableLabel>(*m_window, "nameLabel")->text().startsWith(QStringLiteral("<b>AAAA")));
    QCOMPARE(named<ClickableLabel>(*m_window, "nameLabel")->text().size(), 65507 - 5 + 6);

    // Empty values and short, long or unreadable lists read as 0.
    deliver({"zRange=18,55", "zRange="});
    QCOMPARE(LensDeskTestAccess::zoomRangeWide(*m_window), 0);
    QCOMPARE(LensDeskTestAccess::zoomRangeTele(*m_window), 0);
    deliver({"zRange=abc,def"});
    QCOMPARE(LensDeskTestAccess::zoomRangeWide(*m_window), 0);
    deliver({"zRange=99999999999,55"});
    QCOMPARE(LensDeskTestAccess::zoomRangeWide(*m_window), 0);
    QCOMPARE(LensDeskTestAccess::zoomRangeTele(*m_window), 55);
    deliver({"zRange=-2147483649,2147483647"});
    QCOMPARE(LensDeskTestAccess::zoomRangeWide(*m_window), 0);
    QCOMPARE(LensDeskTestAccess::zoomRangeTele(*m_window), 2147483647);
    deliver({"aRange=3.5"});
    QCOMPARE(named<QPushButton>(*m_window, "pushButtonClose")->text(), QStringLiteral("f/0"));
    QCOMPARE(named<QSlider>(*m_window, "irisSlider")->minimum(), 11);
    deliver({"aRange=1e40,nan"});
    QCOMPARE(LensDeskTestAccess::minimumFNumber(*m_window), 0.0f);
    deliver({"Current=", "Current=1,2,3,4,5,6", "Zoom=", "Focus=1=2=3", "Iris=inf", "SN=", "MAC=", "HW=", "BL=",
             "VENDOR=", "IP=", "MASK=", "GW=", "Lens=", "Proto=", "fRange=,,,", "NAME=\xc3"});
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->focusPos.load(), 1);
    QCOMPARE(LensDeskTestAccess::motionWorker(*m_window)->irisPos.load(), 0.0f);
    QVERIFY(LensDeskTestAccess::serialNumber(*m_window).isEmpty());

    m_controller->sendTo(panelPort(), "T=99999999999");
    TRY_COMPARE(LensDeskTestAccess::focusTimeout(*m_window), 0);
    deliver({});
}

void DispatcherTest::onlyAnAnswerBeginningWithAModelIdentifies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("product");
    QTest::newRow("identification answer") << QByteArray("ORVO RE-2=1.8.3") << "ORVO RE-2";
    QTest::newRow("vendor text naming a model") << QByteArray("VENDOR=ORVO RE-2") << "";
    QTest::newRow("lens text naming a model") << QByteArray("Lens=ORVO KX-MQTR=1.9.0") << "";
    QTest::newRow("model without a version") << QByteArray("ORVO DuvudER") << "";
    QTest::newRow("model after other text") << QByteArray(" ORVO DuvudER=1.9.0") << "";
}

void DispatcherTest::onlyAnAnswerBeginningWithAModelIdentifies()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, product);
    const QPointer<const pingWorker> monitor = LensDeskTestAccess::livenessMonitor(*m_window);
    deliver({reply});
    QCOMPARE(LensDeskTestAccess::productName(*m_window), product.isEmpty() ? IdentifiedProduct : product);
    // An identification sets the connection up anew at once, with workers
    // of its own.
    QCOMPARE(monitor.isNull(), !product.isEmpty());
}

void DispatcherTest::lensDescriptionMarkupIsShownAsText()
{
    deliver({"Lens=<b>EF</b> 50mm <i>f/1.8</i>"});
    QCOMPARE(shownText(named<QLabel>(*m_window, "lensLabel")->toolTip()),
             QStringLiteral("<b>EF</b> 50mm <i>f/1.8</i>"));
}

void DispatcherTest::deviceLineMarkupIsShownAsText()
{
    // The firmware version is the controller's own text: markup in it is
    // shown, not rendered.
    deliver({"ORVO KX-MQTR=<b>1.9.0</b>"});
    const QLabel* deviceLine = named<QLabel>(*m_window, "deviceInfoLabel");
    QVERIFY(deviceLine);
    QCOMPARE(shownText(deviceLine->text(), deviceLine->textFormat()),
             QStringLiteral("Device: ORVO KX-MQTR v.<b>1.9.0</b>  @%1").arg(m_controller->address()));
}

void DispatcherTest::streamIsReadInBatches()
{
    // The controller's reports wait in the socket together; one pass of the
    // dispatcher takes a batch of them and leaves the rest to the next turn
    // of the event loop, so a controller that never stops talking cannot
    // starve the window.
    constexpr int Reports = 150; // well within the socket's receive buffer
    for (int i = 1; i <= Reports; ++i)
        m_controller->sendTo(panelPort(), "Zoom=" + QByteArray::number(i));
    // The event loop does not run until the pass below: nothing reads the
    // socket meanwhile. The kernel may take a moment to queue the first.
    const QUdpSocket* socket = LensDeskTestAccess::commandSocket(*m_window);
    QElapsedTimer queued;
    queued.start();
    while (!socket->hasPendingDatagrams() && queued.elapsed() < TestWaits::reply())
        QThread::msleep(1);
    m_window->readUDPDatagrams();
    const int afterOnePass = LensDeskTestAccess::motionWorker(*m_window)->zoomPos.load();
    QVERIFY2(afterOnePass >= 1 && afterOnePass < Reports, qPrintable(QString::number(afterOnePass)));
    // The rest follows on later turns of the event loop, in order.
    TRY_COMPARE(LensDeskTestAccess::motionWorker(*m_window)->zoomPos.load(), Reports);
}

LENSDESK_TEST_MAIN(DispatcherTest)

#include "tst_dispatcher.moc"
