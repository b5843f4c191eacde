#include "FirmwareImages.h"
#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"
#include "ModalAnswerer.h"
#include "SimClient.h"
#include "SimProcess.h"
#include "TestMain.h"

#include "admin/changeIPDlg.h"
#include "admin/tftpDlg.h"
#include "app/LensDesk.h"
#include "base/SettingsStore.h"
#include "discovery/setIPDlg.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "lens/ProfileText.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

const QString PowerZoomModel = QStringLiteral("ORVO KX-MQTR");

// The zoom, focus and f-number of the simulator's last "Current=" summary.
QString lastPositionSummary(const QString& log)
{
    static const QRegularExpression tx(QStringLiteral("^\\s*\\d+ tx \\S+ Current=(.*)$"),
                                       QRegularExpression::MultilineOption);
    QString last;
    auto it = tx.globalMatch(log);
    while (it.hasNext())
        last = it.next().captured(1);
    return last;
}

// The arguments of a simulator that takes firmware updates on port 6969.
const QStringList UpdatableController{"--product", PowerZoomModel, "--lens", "zoom-is",      "--restart-time",
                                      "300",       "--tftp-port",  "6969",   "--image-file", "{dir}/received.bin"};

// What a simulator's log says of firmware: the update-mode commands it
// received and the TFTP writes that reached it.
QStringList firmwareTraffic(const QString& log)
{
    QStringList traffic =
        SimProcess::commandsIn(log).filter(QRegularExpression(QStringLiteral("^(setFLAG=0|fwNETInit|Restart)$")));
    for (int i = log.count(QStringLiteral("-- tftp write of bla from")); i > 0; --i)
        traffic << QStringLiteral("TFTP write");
    return traffic;
}

// The datagrams that reached a catcher socket since the last call, oldest
// first, as Latin-1 texts.
QStringList caughtDatagrams(QUdpSocket& catcher)
{
    QStringList texts;
    while (catcher.hasPendingDatagrams()) {
        QByteArray datagram(int(qMax<qint64>(catcher.pendingDatagramSize(), 0)), Qt::Uninitialized);
        datagram.truncate(int(qMax<qint64>(catcher.readDatagram(datagram.data(), datagram.size()), 0)));
        texts << QString::fromLatin1(datagram.constData(), datagram.size());
    }
    return texts;
}

} // namespace

// The real panel, in this process and offscreen, against the real simulated
// controller run as a child process on loopback: what the operator sees and
// what the controller does, end to end.
class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Connecting.
    void connectShowsWhatTheControllerReports_data();
    void connectShowsWhatTheControllerReports();

    // Driving the lens by hand.
    void heldZoomButtonMovesTheZoom();
    void apertureSliderReleaseSetsTheAperture();

    // Stored positions.
    void savedSetPointIsRecalledByCtrl3_data();
    void savedSetPointIsRecalledByCtrl3();
    void setPointRecalledRightAfterConnecting();
    void recallRightAfterConnectingDrivesEveryModel_data();
    void recallRightAfterConnectingDrivesEveryModel();
    void recallWithoutControllerDoesNothing_data();
    void recallWithoutControllerDoesNothing();
    void leavingTheLoadDialogResumesThePings_data();
    void leavingTheLoadDialogResumesThePings();

    // The window.
    void alwaysOnTopOpensNoConnectDialog_data();
    void alwaysOnTopOpensNoConnectDialog();

    // Administration.
    void addressChangeFollowsTheController();
    void firmwareImageArrivesWhole();
    void firmwareUploadWaitsForRefusingController();
    void addressWithLeadingZerosIsOneController();
    void firmwareGoesToTheControllerConnectedNow_data();
    void firmwareGoesToTheControllerConnectedNow();
    void firmwareUpdateWithoutAnsweringControllerAsksFirst_data();
    void firmwareUpdateWithoutAnsweringControllerAsksFirst();

    // Losing the controller.
    void silenceMarksReadOutsAndRecoveryRefillsThem();

private:
    bool startSimulator(const QStringList& arguments, int lastOctet = 1);
    void answerConnectDialog(const QString& typedAddress = QString());
    bool chooseControllerInDialog(const QString& typedAddress = QString());
    bool connectThroughDialog(const QString& typedAddress = QString());
    bool giveUpOnSilentController();
    bool letAttemptRunOutOfTime();
    bool silenceUntilLost();
    tftpDlg* openFirmwareDialog();
    void moveSlider(QSlider* slider, int value);
    void saveSetPoint(const QString& name);
    void storeSetPoint(const QString& name, const QString& value);
    qint64 recallByShortcut(Qt::Key digit);
    QDialog* openLoadDialog();
    bool leaveLoadDialogByEscape();
    QString writeFirmwareFile(const QByteArray& image);
    QString ownAddress() const { return sim->address().toString(); }

    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<LensDesk> window;
    std::unique_ptr<ModalAnswerer> modals;
};

void EndToEndTest::init()
{
    modals = std::make_unique<ModalAnswerer>();
    window = std::make_unique<LensDesk>();
    // The host's own neighbour cache is never touched by a test.
    LensDeskTestAccess::replaceAddressCacheFlush(*window, [] { return 0; });
    const std::unique_ptr<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    profiles->remove(QString());
    profiles->sync();
}

void EndToEndTest::cleanup()
{
    const int unexpected = modals->unexpected();
    // The window goes first: its workers stop before the controller does.
    window.reset();
    modals.reset();
    if (sim)
        QCOMPARE(sim->terminate(), 0);
    sim.reset();
    QCOMPARE(unexpected, 0);
}

bool EndToEndTest::startSimulator(const QStringList& arguments, int lastOctet)
{
    // The simulator answers on .1 of this process's own network; an address
    // change moves it to .7.
    sim = std::make_unique<SimProcess>(LoopbackAddress::host(lastOctet), arguments);
    return sim->start();
}

// The next modal dialog is the connect dialog; the operator types the
// simulator's address in it, or `typedAddress` when given.
void EndToEndTest::answerConnectDialog(const QString& typedAddress)
{
    const QString address = typedAddress.isEmpty() ? ownAddress() : typedAddress;
    modals->expect<setIPDlg>([address](setIPDlg* dialog) {
        dialog->lineEdit->setText(address);
        dialog->pushButton->click();
    });
}

// As the operator does: the connect dialog asks for an address (by itself
// when the window is shown, later through "Connect to..."), and an address
// is chosen.
bool EndToEndTest::chooseControllerInDialog(const QString& typedAddress)
{
    answerConnectDialog(typedAddress);
    if (window->isVisible()) {
        named<QAction>(*window, "actionSetIP")->trigger();
        return true;
    }
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
}

// The panel is connected once a controller has identified itself anew and
// its lens reports have been shown.
bool EndToEndTest::connectThroughDialog(const QString& typedAddress)
{
    const QString deviceBefore = named<QLabel>(*window, "deviceInfoLabel")->text();
    if (!chooseControllerInDialog(typedAddress))
        return false;
    return QTest::qWaitFor(
        [this, deviceBefore] {
            const QString device = named<QLabel>(*window, "deviceInfoLabel")->text();
            return modals->pending() == 0 && device.startsWith(QLatin1String("Device:")) && device != deviceBefore
                && !named<QLabel>(*window, "lensLabel")->text().isEmpty()
                && !named<QLineEdit>(*window, "focusVal")->text().isEmpty();
        },
        TestWaits::reply());
}

// "Firmware Update..." as the operator chooses it; the simulators serve
// TFTP on port 6969 instead of 69.
tftpDlg* EndToEndTest::openFirmwareDialog()
{
    named<QAction>(*window, "actionFirmware_Update")->trigger();
    auto* dialog = window->findChild<tftpDlg*>();
    if (dialog)
        dialog->setServerPort(6969);
    return dialog;
}

// The simulator falls silent; the operator chooses it in the connect dialog
// and, as nothing answers, presses "Stop".
bool EndToEndTest::giveUpOnSilentController()
{
    sim->sendSignal(SIGUSR1);
    return sim->waitForLog(QStringLiteral("-- falls silent")).hasMatch() && chooseControllerInDialog()
        && sim->waitForLog(QStringLiteral(" drop \\S+ \\(silent\\) ver$")).hasMatch()
        && pressCancelOfProgress(window.get());
}

// The simulator falls silent; the operator chooses it in the connect dialog
// and waits until the attempt's time limit has run out.
bool EndToEndTest::letAttemptRunOutOfTime()
{
    sim->sendSignal(SIGUSR1);
    if (!sim->waitForLog(QStringLiteral("-- falls silent")).hasMatch() || !chooseControllerInDialog())
        return false;
    ModalAnswerer::Box failure;
    modals->expectBox(QMessageBox::Ok, &failure);
    return QTest::qWaitFor([this] { return modals->pending() == 0; }, TestWaits::scaled(10000))
        && failure.title == QLatin1String("Connecting Error");
}

// The connected simulator falls silent until the panel declares it lost:
// four unanswered pings, about 2.4 s.
bool EndToEndTest::silenceUntilLost()
{
    sim->sendSignal(SIGUSR1);
    return sim->waitForLog(QStringLiteral("-- falls silent")).hasMatch()
        && QTest::qWaitFor([this] { return named<QLabel>(*window, "lensLabel")->text() == QLatin1String("Lens: N/A"); },
                           TestWaits::scaled(8000));
}

// Presses the slider, puts it at `value` and lets go, as a drag does.
void EndToEndTest::moveSlider(QSlider* slider, int value)
{
    slider->setSliderDown(true);
    slider->setValue(value);
    slider->setSliderDown(false);
}

void EndToEndTest::connectShowsWhatTheControllerReports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("deviceLine");
    QTest::addColumn<QString>("lensLine");
    QTest::addColumn<bool>("zoomDrivable");
    QTest::addColumn<bool>("lensPresent");

    const QStringList zoomLens{"--product", PowerZoomModel, "--lens", "zoom-is"};
    const QStringList prime{"--product", "ORVO RE-2", "--lens", "prime", "--firmware", "1.8.12 ", "--bootloader", "2"};
    const QString mqtr = QStringLiteral("Device: ORVO KX-MQTR v.1.9.0  @%1");
    const QString zoomLensLine = QStringLiteral("Lens: <b>18-55mm f/3.5</b>");
    dataRow("power zoom with a zoom lens", zoomLens, mqtr, zoomLensLine, true, true);
    // The panel takes every waiting datagram: answers need no spacing.
    dataRow("answers back to back", zoomLens + QStringList{"--gap", "0"}, mqtr, zoomLensLine, true, true);
    // A version with a blank after its digits gets the boot loader's version.
    const QString re2 = QStringLiteral("Device: ORVO RE-2 v.1.8.12 (BL2)   @%1");
    dataRow("prime lens without power zoom", prime, re2, QStringLiteral("Lens: <b>50mm f/1.8</b>"), false, true);
    const QStringList noLens{"--product", PowerZoomModel, "--lens", "none"};
    dataRow("no lens", noLens, mqtr, QStringLiteral("Lens: N/A"), false, false);
}

void EndToEndTest::connectShowsWhatTheControllerReports()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, deviceLine);
    QFETCH(QString, lensLine);
    QFETCH(bool, zoomDrivable);
    QFETCH(bool, lensPresent);

    QVERIFY(startSimulator(arguments));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    QCOMPARE(named<QLabel>(w, "deviceInfoLabel")->text(), deviceLine.arg(ownAddress()));
    TRY_COMPARE(named<QLabel>(w, "lensLabel")->text(), lensLine);

    for (QWidget* zoomControl :
         allNamed<QWidget>(w, {"slowNarrowZoom", "fastWideZoom", "zoomSlider", "zoomStepSlider"}))
        QCOMPARE(zoomControl->isEnabled(), zoomDrivable);
    QCOMPARE(named<QSlider>(w, "irisSlider")->isEnabled(), lensPresent);
    QCOMPARE(named<QSlider>(w, "focusSlider")->isEnabled(), lensPresent);
    QCOMPARE(named<QPushButton>(w, "slowOpenIris")->isEnabled(), lensPresent);
    QCOMPARE(named<QPushButton>(w, "slowNearFocus")->isEnabled(), lensPresent);

    if (lensPresent) {
        // The read-outs hold what the controller's "Current=" summary said.
        TRY_VERIFY(!lastPositionSummary(sim->log()).isEmpty());
        const QStringList positions = lastPositionSummary(sim->log()).split(QLatin1Char(','));
        QCOMPARE(positions.size(), 3);
        TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), positions.at(0));
        QCOMPARE(named<QLineEdit>(w, "focusVal")->text(), positions.at(1));
        QCOMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/%1").arg(positions.at(2)));
    } else {
        for (QLineEdit* readOut : allNamed<QLineEdit>(w, {"zoomVal", "focusVal", "irisVal"}))
            QCOMPARE(readOut->text(), QStringLiteral("N/A"));
    }
    // The connection goes on: the liveness monitor's pings are answered.
    QVERIFY(sim->waitForLog(QStringLiteral(" rx \\S+ ping$")).hasMatch());
    TRY_VERIFY(LensDeskTestAccess::livenessMonitor(w) && LensDeskTestAccess::livenessMonitor(w)->missedPings() <= 1);
}

void EndToEndTest::heldZoomButtonMovesTheZoom()
{
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    const int start = named<QLineEdit>(w, "zoomVal")->text().toInt();
    QCOMPARE(start, 18);

    // Towards the narrow end while the button is held.
    QTest::mousePress(named<QPushButton>(w, "slowNarrowZoom"), Qt::LeftButton);
    TRY_VERIFY(named<QLineEdit>(w, "zoomVal")->text().toInt() >= start + 2);
    const int released = sim->log().size();
    QTest::mouseRelease(named<QPushButton>(w, "slowNarrowZoom"), Qt::LeftButton);
    // The drive stops once the stream does; its summary ends the motion.
    QString summary;
    TRY_VERIFY(!(summary = lastPositionSummary(sim->log().mid(released))).isEmpty());
    QStringList commands = SimProcess::commandsIn(sim->log());
    const int streamed = commands.count(QStringLiteral("moveZoom=-10"));
    QVERIFY(streamed > 0);
    TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), summary.section(QLatin1Char(','), 0, 0));
    QVERIFY(named<QLineEdit>(w, "zoomVal")->text().toInt() > start);
    QCOMPARE(named<QSlider>(w, "zoomSlider")->value(), named<QLineEdit>(w, "zoomVal")->text().toInt());
    // Nothing follows the release: two more pings answered, no more moves.
    const int pings = commands.count(QStringLiteral("ping"));
    TRY_VERIFY(SimProcess::commandsIn(sim->log()).count(QStringLiteral("ping")) >= pings + 2);
    QCOMPARE(SimProcess::commandsIn(sim->log()).count(QStringLiteral("moveZoom=-10")), streamed);

    // And back towards wide with the fast button.
    const int narrowed = named<QLineEdit>(w, "zoomVal")->text().toInt();
    QTest::mousePress(named<QPushButton>(w, "fastWideZoom"), Qt::LeftButton);
    TRY_VERIFY(named<QLineEdit>(w, "zoomVal")->text().toInt() < narrowed);
    QTest::mouseRelease(named<QPushButton>(w, "fastWideZoom"), Qt::LeftButton);
    QVERIFY(SimProcess::commandsIn(sim->log()).contains(QStringLiteral("moveZoom=20")));
}

void EndToEndTest::apertureSliderReleaseSetsTheAperture()
{
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    // f/3.5 to f/22 on the lens's scale.
    QCOMPARE(named<QSlider>(w, "irisSlider")->minimum(),
             FNumbers::lastIndexOf(LensDeskTestAccess::fNumberTable(w), 3.5f));
    QCOMPARE(named<QSlider>(w, "irisSlider")->maximum(),
             FNumbers::lastIndexOf(LensDeskTestAccess::fNumberTable(w), 22.0f));

    const int f8 = FNumbers::lastIndexOf(LensDeskTestAccess::fNumberTable(w), 8.0f);
    moveSlider(named<QSlider>(w, "irisSlider"), f8);
    QVERIFY(sim->waitForLog(QStringLiteral(" rx \\S+ setAper=8$")).hasMatch());
    QVERIFY(sim->waitForLog(QStringLiteral(" tx \\S+ irisDone$")).hasMatch());
    TRY_COMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/8"));
    QCOMPARE(named<QSlider>(w, "irisSlider")->value(), f8);
    TRY_COMPARE(lastPositionSummary(sim->log()).section(QLatin1Char(','), 2), QStringLiteral("8"));
}

void EndToEndTest::saveSetPoint(const QString& name)
{
    modals->expect<QInputDialog>([name](QInputDialog* dialog) {
        dialog->setTextValue(name);
        dialog->accept();
    });
    named<QAction>(*window, "actionSavePresets")->trigger();
    QCOMPARE(modals->pending(), 0);
}

// A set point stored by an earlier run of the panel.
void EndToEndTest::storeSetPoint(const QString& name, const QString& value)
{
    const std::unique_ptr<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    SettingsStore::writeThrough(profiles.get(), ProfileText::keyForName(name), value);
}

// Ctrl+digit as the operator types it; returns how long the recall took.
qint64 EndToEndTest::recallByShortcut(Qt::Key digit)
{
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        return -1;
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(window.get(), digit, Qt::ControlModifier);
    return clock.elapsed();
}

void EndToEndTest::savedSetPointIsRecalledByCtrl3_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::newRow("zoom confirmed with the held focus and iris") << QStringList();
    // Controllers differ in what follows "zoomDone".
    QTest::newRow("zoom confirmed by zoomDone alone") << QStringList{"--zoom-done-alone"};
}

void EndToEndTest::savedSetPointIsRecalledByCtrl3()
{
    QFETCH(QStringList, simOptions);
    QVERIFY(startSimulator(QStringList{"--product", PowerZoomModel, "--lens", "zoom-is"} + simOptions));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    const int f8 = FNumbers::lastIndexOf(LensDeskTestAccess::fNumberTable(w), 8.0f);
    const int f16 = FNumbers::lastIndexOf(LensDeskTestAccess::fNumberTable(w), 16.0f);

    // Drive the lens somewhere and store it under "3".
    moveSlider(named<QSlider>(w, "zoomSlider"), 35);
    TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), QStringLiteral("35"));
    moveSlider(named<QSlider>(w, "focusSlider"), 400);
    TRY_COMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("400"));
    moveSlider(named<QSlider>(w, "irisSlider"), f8);
    TRY_COMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/8"));
    saveSetPoint(QStringLiteral("3"));

    // Somewhere else.
    moveSlider(named<QSlider>(w, "zoomSlider"), 50);
    TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), QStringLiteral("50"));
    moveSlider(named<QSlider>(w, "focusSlider"), 800);
    TRY_COMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("800"));
    moveSlider(named<QSlider>(w, "irisSlider"), f16);
    TRY_COMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/16"));
    QVERIFY(sim->waitForLog(QStringLiteral(" tx \\S+ Current=50,800,16$")).hasMatch());

    const qint64 recallMs = recallByShortcut(Qt::Key_3);

    QVERIFY(sim->waitForLog(QStringLiteral(" tx \\S+ Current=35,400,8$")).hasMatch());
    const QStringList commands = SimProcess::commandsIn(sim->log());
    const int zoomAt = commands.lastIndexOf(QStringLiteral("setZoom=35"));
    const int focusAt = commands.lastIndexOf(QStringLiteral("setFocus2=400"));
    const int irisAt = commands.lastIndexOf(QStringLiteral("setAper=8"));
    QVERIFY(zoomAt >= 0 && zoomAt < focusAt && focusAt < irisAt);
    TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), QStringLiteral("35"));
    TRY_COMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("400"));
    TRY_COMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/8"));
    // Confirmed by the controller, not given up on.
    QVERIFY2(recallMs < LensWaits::MoveConfirmTimeoutMs, qPrintable(QString::number(recallMs)));
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
    QVERIFY(named<QPushButton>(w, "slowNarrowZoom")->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
}

// The usual start of a shift: connect, and go to a stored position. No
// absolute move has been confirmed yet in this connection, so only the
// controller's reports after the zoom move can end the recall's first wait.
void EndToEndTest::setPointRecalledRightAfterConnecting()
{
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    const QString start = lastPositionSummary(sim->log());
    QCOMPARE(start, QStringLiteral("18,575,3.5"));
    saveSetPoint(QStringLiteral("5"));

    QTest::mousePress(named<QPushButton>(w, "fastNarrowZoom"), Qt::LeftButton);
    TRY_VERIFY(named<QLineEdit>(w, "zoomVal")->text().toInt() >= 24);
    QTest::mouseRelease(named<QPushButton>(w, "fastNarrowZoom"), Qt::LeftButton);
    TRY_VERIFY(lastPositionSummary(sim->log()) != start);

    const int before = sim->log().size();
    const qint64 recallMs = recallByShortcut(Qt::Key_5);
    TRY_COMPARE(lastPositionSummary(sim->log().mid(before)), start);
    QVERIFY2(recallMs < LensWaits::MoveConfirmTimeoutMs, qPrintable(QString::number(recallMs)));
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
    QCOMPARE(SimProcess::commandsIn(sim->log()).filter(QRegularExpression(QStringLiteral("^set(Zoom|Focus2|Aper)="))),
             (QStringList{"setZoom=18", "setFocus2=575", "setAper=3.5"}));
    // Focus goes only once the controller has confirmed the zoom move (and
    // focus and iris after it), not while the zoom still travels.
    const QString recall = sim->log().mid(before);
    const int zoomDone =
        recall.indexOf(QRegularExpression(QStringLiteral(" tx \\S+ zoomDone$"), QRegularExpression::MultilineOption));
    const int focusSent = recall.indexOf(QRegularExpression(QStringLiteral(" rx \\S+ setFocus2=")));
    QVERIFY2(zoomDone >= 0 && zoomDone < focusSent, qPrintable(recall));
    TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), QStringLiteral("18"));
}

void EndToEndTest::recallRightAfterConnectingDrivesEveryModel_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QStringList>("moves");
    QTest::newRow("power zoom") << PowerZoomModel << QStringList{"setZoom=18", "setFocus2=300", "setAper=8"};
    // Zoom is turned by hand on these: no zoom command, and no zoom move
    // whose confirmations the recall could wait for.
    QTest::newRow("RE-2") << QStringLiteral("ORVO RE-2") << QStringList{"setFocus2=300", "setAper=8"};
    QTest::newRow("DuvudER") << QStringLiteral("ORVO DuvudER") << QStringList{"setFocus2=300", "setAper=8"};
}

// The first thing after connecting, on every model: go to a position stored
// in an earlier session. No move is under way that the recall would have to
// wait for.
void EndToEndTest::recallRightAfterConnectingDrivesEveryModel()
{
    QFETCH(QString, product);
    QFETCH(QStringList, moves);
    storeSetPoint(QStringLiteral("4"), QStringLiteral("18,300,8"));
    QVERIFY(startSimulator({"--product", product, "--lens", "zoom-is"}));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    QCOMPARE(lastPositionSummary(sim->log()), QStringLiteral("18,575,3.5"));

    const qint64 recallMs = recallByShortcut(Qt::Key_4);
    QVERIFY(sim->waitForLog(QStringLiteral(" tx \\S+ Current=18,300,8$")).hasMatch());
    QCOMPARE(SimProcess::commandsIn(sim->log()).filter(QRegularExpression(QStringLiteral("^set(Zoom|Focus2|Aper)="))),
             moves);
    QVERIFY2(recallMs < LensWaits::MoveConfirmTimeoutMs, qPrintable(QString::number(recallMs)));
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
    TRY_COMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("300"));
    TRY_COMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/8"));
    QVERIFY(named<QSlider>(w, "irisSlider")->isEnabled());
}

// Ctrl+L as the operator types it; the load dialog once it shows.
QDialog* EndToEndTest::openLoadDialog()
{
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    QTest::keyClick(window.get(), Qt::Key_L, Qt::ControlModifier);
    auto* dialog = named<QDialog>(*window, "loadSettingsDialog");
    if (!dialog || !QTest::qWaitFor([dialog] { return dialog->isVisible(); }))
        return nullptr;
    return dialog;
}

// The operator looks at the stored positions and leaves without loading.
bool EndToEndTest::leaveLoadDialogByEscape()
{
    QDialog* dialog = openLoadDialog();
    if (!dialog)
        return false;
    QTest::keyClick(dialog, Qt::Key_Escape);
    return !dialog->isVisible();
}

namespace {
// How the panel came to have no controller that answers.
enum class NoController {
    NeverConnected,      // the first attempt found nothing (Stop)
    OtherAddressStopped, // connected; "Connect to..." an address where nobody answers, Stop
    LinkLost,            // the liveness monitor declared it lost
    SameAddressStopped,  // connected; "Connect to..." the same address, silent now, Stop
    SameAddressTimedOut, // the same, and the attempt's time limit ran out
};
} // namespace
Q_DECLARE_METATYPE(NoController)

void EndToEndTest::recallWithoutControllerDoesNothing_data()
{
    QTest::addColumn<NoController>("how");
    QTest::addColumn<bool>("loadDialogLeft");
    QTest::newRow("before any connection") << NoController::NeverConnected << false;
    QTest::newRow("after the link is lost") << NoController::LinkLost << false;
    // Leaving the dialog ends the monitor's rest; it is no answer from the
    // controller.
    QTest::newRow("after the link is lost and the load dialog was left") << NoController::LinkLost << true;
    // "Connect to..." rests the monitor with its count as it was; an attempt
    // that found nothing leaves no controller, whatever the count.
    QTest::newRow("after an attempt at the same address was stopped") << NoController::SameAddressStopped << false;
    QTest::newRow("after an attempt at the same address ran out of time") << NoController::SameAddressTimedOut << false;
}

// Ctrl+digit while no controller answers: nothing goes out, the lens
// controls stay as they are, and the status bar says why.
void EndToEndTest::recallWithoutControllerDoesNothing()
{
    QFETCH(NoController, how);
    QFETCH(bool, loadDialogLeft);
    storeSetPoint(QStringLiteral("3"), QStringLiteral("35,400,8"));
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    LensDesk& w = *window;
    if (how != NoController::NeverConnected)
        QVERIFY(connectThroughDialog());
    switch (how) {
    case NoController::NeverConnected:
    case NoController::SameAddressStopped:
        QVERIFY(giveUpOnSilentController());
        break;
    case NoController::LinkLost:
        QVERIFY(silenceUntilLost());
        break;
    case NoController::SameAddressTimedOut:
        QVERIFY(letAttemptRunOutOfTime());
        break;
    case NoController::OtherAddressStopped:
        QFAIL("no row of this test");
    }
    if (loadDialogLeft)
        QVERIFY(leaveLoadDialogByEscape());

    const qint64 recallMs = recallByShortcut(Qt::Key_3);
    QVERIFY2(recallMs < LensWaits::MoveConfirmTimeoutMs, qPrintable(QString::number(recallMs)));
    QCOMPARE(w.statusBar()->currentMessage(),
             QStringLiteral("No controller is connected: the set point \"3\" is not recalled."));
    QVERIFY(!named<QSlider>(w, "irisSlider")->isEnabled());
    QVERIFY(!named<QPushButton>(w, "slowNarrowZoom")->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());

    // A datagram sent after the recall reaches the simulator after anything
    // the recall could have sent; the silent simulator logs all it drops.
    SimClient marker;
    marker.send(sim->address(), "end of recall");
    QVERIFY(sim->waitForLog(QStringLiteral("end of recall$")).hasMatch());
    const QString log = sim->log();
    QVERIFY2(!log.contains(QRegularExpression(QStringLiteral("set(Zoom|Focus2|Aper)="))), qPrintable(log));
}

void EndToEndTest::leavingTheLoadDialogResumesThePings_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Escape") << true;
    QTest::newRow("window frame") << false;
}

// The load dialog rests the liveness monitor while it is open; leaving it
// without loading, by any way, gives the monitor back.
void EndToEndTest::leavingTheLoadDialogResumesThePings()
{
    QFETCH(bool, byEscape);
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    QVERIFY(connectThroughDialog());
    QDialog* dialog = openLoadDialog();
    QVERIFY(dialog);

    const int pings = SimProcess::commandsIn(sim->log()).count(QStringLiteral("ping"));
    if (byEscape) {
        QTest::keyClick(dialog, Qt::Key_Escape);
    } else {
        dialog->close();
    }
    QVERIFY(!dialog->isVisible());
    // At most one ping can have been under way when the dialog opened; two
    // more come only from a running monitor (600 ms apart).
    QTRY_VERIFY_WITH_TIMEOUT(SimProcess::commandsIn(sim->log()).count(QStringLiteral("ping")) >= pings + 2,
                             TestWaits::scaled(3500));
}

void EndToEndTest::alwaysOnTopOpensNoConnectDialog_data()
{
    QTest::addColumn<QList<bool>>("alwaysOnTop");
    QTest::addColumn<bool>("dialogOpens");
    QTest::newRow("Always On Top ticked") << QList<bool>{true} << false;
    QTest::newRow("Always On Top ticked and cleared") << QList<bool>{true, false} << false;
    // The window shown again while no controller has reported asks for one.
    QTest::newRow("hidden and shown again") << QList<bool>{} << true;
}

// The window before any controller has reported, the operator having given
// up on a silent one: only showing the window again opens the connect dialog.
void EndToEndTest::alwaysOnTopOpensNoConnectDialog()
{
    QFETCH(QList<bool>, alwaysOnTop);
    QFETCH(bool, dialogOpens);
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    QVERIFY(giveUpOnSilentController());
    LensDesk& w = *window;
    const auto connectDialogShown = [&w] {
        for (const setIPDlg* dialog : w.findChildren<setIPDlg*>()) {
            if (dialog->isVisible())
                return true;
        }
        return false;
    };
    TRY_VERIFY(!connectDialogShown());

    auto* action = named<QAction>(w, "actionAlwaysOnTop");
    QVERIFY(action);
    for (const bool on : alwaysOnTop) {
        action->trigger();
        QCOMPARE(action->isChecked(), on);
        QVERIFY(w.isVisible());
    }
    if (alwaysOnTop.isEmpty()) {
        w.hide();
        w.show();
    }
    const bool shown = connectDialogShown();
    if (shown) {
        // Answered as the operator would, so that nothing ends the program.
        answerConnectDialog();
        TRY_COMPARE(modals->pending(), 0);
        QVERIFY(pressCancelOfProgress(window.get()));
    }
    QCOMPARE(shown, dialogOpens);
}

void EndToEndTest::addressChangeFollowsTheController()
{
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is", "--restart-time", "1000"}));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    const QString oldAddress = ownAddress();
    const QString newAddress = LoopbackAddress::host(7).toString();
    int flushes = 0;
    LensDeskTestAccess::replaceAddressCacheFlush(w, [&flushes] {
        ++flushes;
        return 0;
    });

    // The dialog opens with the controller's current settings.
    modals->expect<changeIPDlg>([&](changeIPDlg* dialog) {
        QCOMPARE(dialog->lineEdit->text(), oldAddress);
        dialog->newIP->setText(newAddress);
        dialog->newMASK->setText(QStringLiteral("255.0.0.0"));
        QCOMPARE(dialog->newGW->text(), QStringLiteral("127.0.0.1"));
        QVERIFY(dialog->applyButton->isEnabled());
        QTimer::singleShot(0, dialog->applyButton, &QPushButton::click);
    });
    named<QAction>(w, "actionChange_IP")->trigger();
    TRY_COMPARE(modals->pending(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(named<QLabel>(w, "deviceInfoLabel")->text(),
                              QStringLiteral("Device: ORVO KX-MQTR v.1.9.0  @%1").arg(newAddress),
                              TestWaits::scaled(10000));
    QCOMPARE(LensDeskTestAccess::controllerAddress(w), newAddress);
    QCOMPARE(flushes, 1);
    TRY_VERIFY(named<QSlider>(w, "irisSlider")->isEnabled() && named<QPushButton>(w, "slowNarrowZoom")->isEnabled());

    // On the wire: the three values and the restart, then the probe at the
    // new address (the simulator hears nothing else once it has moved).
    const QString log = sim->log();
    const int moved = log.indexOf(QStringLiteral("-- address changed to %1").arg(newAddress));
    QVERIFY(moved > 0);
    QStringList before = SimProcess::commandsIn(log.left(moved));
    before.removeAll(QStringLiteral("ping"));
    QCOMPARE(before.mid(before.indexOf(QStringLiteral("ChangeIP=%1").arg(newAddress))),
             (QStringList{QStringLiteral("ChangeIP=%1").arg(newAddress), QStringLiteral("ChangeMASK=255.0.0.0"),
                          QStringLiteral("ChangeGW=127.0.0.1"), QStringLiteral("Reboot")}));
    const QStringList after = SimProcess::commandsIn(log.mid(moved));
    QVERIFY(after.size() >= 3);
    QCOMPARE(after.mid(0, 3), (QStringList{"blver", "getProto", "ver"}));

    // Nothing goes to the old address any more: a catcher there stays empty
    // while an aperture move and the pings reach the controller at its new one.
    QUdpSocket oldHome;
    QVERIFY(oldHome.bind(QHostAddress(oldAddress), 1339));
    const int pings = SimProcess::commandsIn(sim->log()).count(QStringLiteral("ping"));
    moveSlider(named<QSlider>(w, "irisSlider"), FNumbers::lastIndexOf(LensDeskTestAccess::fNumberTable(w), 11.0f));
    QVERIFY(sim->waitForLog(QStringLiteral(" rx \\S+ setAper=11$")).hasMatch());
    TRY_COMPARE(named<QLineEdit>(w, "irisVal")->text(), QStringLiteral("f/11"));
    TRY_VERIFY(SimProcess::commandsIn(sim->log()).count(QStringLiteral("ping")) >= pings + 2);
    QVERIFY(!oldHome.hasPendingDatagrams());
}

// A plain firmware file beside the simulator's own files; empty on failure.
QString EndToEndTest::writeFirmwareFile(const QByteArray& image)
{
    const QString path = sim->workPath(QStringLiteral("update.orvo"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return QString();
    return path;
}

void EndToEndTest::firmwareImageArrivesWhole()
{
    QVERIFY(startSimulator(UpdatableController));
    QVERIFY(connectThroughDialog());
    const QByteArray image = plainImage(1 << 20, 1);
    const QString path = writeFirmwareFile(image);
    QVERIFY(!path.isEmpty());

    ModalAnswerer::Box outcome;
    modals->expectBox(QMessageBox::Ok, &outcome);
    tftpDlg* dialog = openFirmwareDialog();
    QVERIFY(dialog);
    dialog->lineEdit->setText(path);
    dialog->pushButton->click();
    QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));

    QVERIFY(sim->waitForLog(QStringLiteral("-- image stored in ")).hasMatch());
    QFile received(sim->workPath(QStringLiteral("received.bin")));
    QVERIFY(received.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(received.readAll(), QCryptographicHash::Sha256),
             QCryptographicHash::hash(image, QCryptographicHash::Sha256));

    // The order on the wire: into update mode, the write, back to normal.
    const QString log = sim->log();
    QStringList commands = SimProcess::commandsIn(log.left(log.indexOf(QLatin1String("-- tftp write of bla from"))));
    commands.removeAll(QStringLiteral("ping"));
    QCOMPARE(commands.mid(commands.size() - 3), (QStringList{"setFLAG=0", "fwNETInit", "Restart"}));
    TRY_COMPARE(SimProcess::commandsIn(sim->log().mid(log.indexOf(QLatin1String("-- image received"))))
                    .count(QStringLiteral("setFLAG=99")),
                2);
}

void EndToEndTest::firmwareUploadWaitsForRefusingController()
{
    QVERIFY(startSimulator(UpdatableController + QStringList{"--tftp-refuse", "2"}));
    QVERIFY(connectThroughDialog());
    const QByteArray image = plainImage(64 * 1024, 2);
    const QString path = writeFirmwareFile(image);
    QVERIFY(!path.isEmpty());

    tftpDlg* dialog = openFirmwareDialog();
    QVERIFY(dialog);
    QStringList labels;
    connect(dialog, &tftpDlg::uploadProgress, this, [&labels, dialog] {
        if (labels.isEmpty() || labels.last() != dialog->progress->labelText())
            labels << dialog->progress->labelText();
    });
    ModalAnswerer::Box outcome;
    modals->expectBox(QMessageBox::Ok, &outcome);
    dialog->lineEdit->setText(path);
    dialog->pushButton->click();
    disconnect(dialog, &tftpDlg::uploadProgress, this, nullptr);
    QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));

    QVERIFY(sim->waitForLog(QStringLiteral("-- image stored in ")).hasMatch());
    const QString log = sim->log();
    QCOMPARE(log.count(QStringLiteral("-- tftp refuses write request")), 2);
    QCOMPARE(log.count(QStringLiteral("-- image received")), 1);
    QFile received(sim->workPath(QStringLiteral("received.bin")));
    QVERIFY(received.open(QIODevice::ReadOnly));
    QVERIFY(received.readAll() == image);
    QCOMPARE(labels, (QStringList{QStringLiteral("Restart device!"), QStringLiteral("Updating fw, please wait...")}));
}

// "127.x.y.010" is the controller at .10 for the operator and for the
// panel's commands; libcurl alone would read the octet as octal (.8). Every
// address the panel accepts is given one written form, so the image goes
// where the handshake went, and the window and the settings show it so.
void EndToEndTest::addressWithLeadingZerosIsOneController()
{
    QVERIFY(startSimulator(UpdatableController, 10));
    // Whatever reads "010" as octal would reach these.
    QUdpSocket octalCommands, octalTftp;
    QVERIFY(octalCommands.bind(sim->sibling(8), 1339));
    QVERIFY(octalTftp.bind(sim->sibling(8), 6969));
    const QString typed = ownAddress().section(QLatin1Char('.'), 0, 2) + QStringLiteral(".010");

    QVERIFY(connectThroughDialog(typed));
    const QString path = writeFirmwareFile(plainImage(64 * 1024, 2));
    QVERIFY(!path.isEmpty());
    tftpDlg* dialog = openFirmwareDialog();
    QVERIFY(dialog);
    dialog->setGiveUpAfterMs(5000);
    ModalAnswerer::Box outcome;
    modals->expectBox(QMessageBox::Ok, &outcome);
    dialog->lineEdit->setText(path);
    dialog->pushButton->click();

    QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));
    QVERIFY(sim->waitForLog(QStringLiteral("-- image stored in ")).hasMatch());
    QCOMPARE(firmwareTraffic(sim->log()), (QStringList{"setFLAG=0", "fwNETInit", "Restart", "TFTP write"}));
    QVERIFY(!octalCommands.hasPendingDatagrams());
    QVERIFY(!octalTftp.hasPendingDatagrams());

    QCOMPARE(named<QLabel>(*window, "deviceInfoLabel")->text(),
             QStringLiteral("Device: ORVO KX-MQTR v.1.9.0  @%1").arg(ownAddress()));
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ORVO"),
                    QStringLiteral("KXController"));
    QCOMPARE(store.value(QStringLiteral("LAST_CKX_IP")).toString(), ownAddress());
}

void EndToEndTest::firmwareGoesToTheControllerConnectedNow_data()
{
    QTest::addColumn<bool>("agree");
    QTest::newRow("the operator uploads to the controller connected now") << true;
    QTest::newRow("the operator declines") << false;
}

// The firmware dialog stays open while the operator connects to another
// controller. Upload must then say so, and the image may only go where the
// update-mode handshake went: to the controller connected now, or nowhere.
void EndToEndTest::firmwareGoesToTheControllerConnectedNow()
{
    QFETCH(bool, agree);
    QVERIFY(startSimulator(UpdatableController));
    SimProcess second(sim->sibling(2), UpdatableController);
    QVERIFY(second.start());
    // The first controller never enters update mode: a TFTP write meant
    // for it would arrive here.
    QUdpSocket firstTftp;
    QVERIFY(firstTftp.bind(sim->address(), 6969));

    QVERIFY(connectThroughDialog());
    tftpDlg* dialog = openFirmwareDialog();
    QVERIFY(dialog);
    dialog->setGiveUpAfterMs(5000);
    const QString first = ownAddress();
    const QString now = second.address().toString();
    QVERIFY(connectThroughDialog(now));

    ModalAnswerer::Box question, outcome;
    modals->expectBox(agree ? QMessageBox::Yes : QMessageBox::No, &question);
    if (agree)
        modals->expectBox(QMessageBox::Ok, &outcome);
    const QString path = writeFirmwareFile(plainImage(64 * 1024, 2));
    QVERIFY(!path.isEmpty());
    dialog->lineEdit->setText(path);
    dialog->pushButton->click();

    // Nothing of the update reached the first controller.
    QVERIFY(!firstTftp.hasPendingDatagrams());
    QCOMPARE(firmwareTraffic(sim->log()), QStringList());
    QCOMPARE(modals->pending(), 0);
    QCOMPARE(question.title, QStringLiteral("Firmware update"));
    QVERIFY2(question.text.contains(first) && question.text.contains(now), qPrintable(question.text));
    QCOMPARE(question.defaultButton, QMessageBox::No);
    if (agree) {
        QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));
        QVERIFY(second.waitForLog(QStringLiteral("-- image stored in ")).hasMatch());
        QCOMPARE(firmwareTraffic(second.log()), (QStringList{"setFLAG=0", "fwNETInit", "Restart", "TFTP write"}));
    } else {
        // Two more pings answered: the panel carried on without a word to either.
        const int pings = SimProcess::commandsIn(second.log()).count(QStringLiteral("ping"));
        TRY_VERIFY(SimProcess::commandsIn(second.log()).count(QStringLiteral("ping")) >= pings + 2);
        QCOMPARE(firmwareTraffic(second.log()), QStringList());
    }
}

void EndToEndTest::firmwareUpdateWithoutAnsweringControllerAsksFirst_data()
{
    QTest::addColumn<NoController>("how");
    QTest::addColumn<bool>("agree");
    QTest::newRow("controller stopped answering, declined") << NoController::LinkLost << false;
    QTest::newRow("attempt elsewhere found nothing, declined") << NoController::OtherAddressStopped << false;
    // A controller waiting for an image in its boot loader answers no
    // command; the operator who knows it may still send one.
    QTest::newRow("attempt elsewhere found nothing, uploaded") << NoController::OtherAddressStopped << true;
    QTest::newRow("attempt at the same address found nothing, declined") << NoController::SameAddressStopped << false;
}

// The firmware dialog stays open while the controller falls silent, or
// while the operator tries another address where nothing answers. No
// controller is connected then: Upload says so, with "No" as the default,
// and names the address that the update would go to.
void EndToEndTest::firmwareUpdateWithoutAnsweringControllerAsksFirst()
{
    QFETCH(NoController, how);
    QFETCH(bool, agree);
    QVERIFY(startSimulator(UpdatableController));
    QVERIFY(connectThroughDialog());
    tftpDlg* dialog = openFirmwareDialog();
    QVERIFY(dialog);
    dialog->setGiveUpAfterMs(2000);
    // Nobody but this test listens at the address of the failed attempt.
    QUdpSocket nobodyCommands, nobodyTftp;
    QVERIFY(nobodyCommands.bind(sim->sibling(3), 1339));
    QVERIFY(nobodyTftp.bind(sim->sibling(3), 6969));
    if (how == NoController::OtherAddressStopped) {
        QVERIFY(chooseControllerInDialog(sim->sibling(3).toString()));
        QStringList probes;
        TRY_VERIFY((probes += caughtDatagrams(nobodyCommands)).size() >= 3);
        QCOMPARE(probes, (QStringList{"blver", "getProto", "ver"}));
        QVERIFY(pressCancelOfProgress(window.get()));
    } else if (how == NoController::SameAddressStopped) {
        QVERIFY(giveUpOnSilentController());
    } else {
        QVERIFY(silenceUntilLost());
    }
    const bool elsewhere = how == NoController::OtherAddressStopped;
    const QString target = elsewhere ? sim->sibling(3).toString() : ownAddress();

    ModalAnswerer::Box question, outcome;
    modals->expectBox(agree ? QMessageBox::Yes : QMessageBox::No, &question);
    if (agree)
        modals->expectBox(QMessageBox::Ok, &outcome);
    const QString path = writeFirmwareFile(plainImage(64 * 1024, 2));
    QVERIFY(!path.isEmpty());
    dialog->lineEdit->setText(path);
    dialog->pushButton->click();

    QCOMPARE(modals->pending(), 0);
    QCOMPARE(question.title, QStringLiteral("Firmware update"));
    QVERIFY2(question.text.startsWith(QStringLiteral("No controller answers at %1.").arg(target)),
             qPrintable(question.text));
    QCOMPARE(question.defaultButton, QMessageBox::No);
    // The controller first connected hears nothing of an update, not even
    // as datagrams it drops while silent.
    const QString log = sim->log();
    QVERIFY2(!log.contains(QStringLiteral("setFLAG=0")) && !log.contains(QStringLiteral("tftp")), qPrintable(log));
    if (agree) {
        // Handshake and image went to the address named in the question.
        QCOMPARE(outcome.title, QStringLiteral("Firmware update did not complete"));
        QCOMPARE(caughtDatagrams(nobodyCommands).mid(0, 3), (QStringList{"setFLAG=0", "fwNETInit", "Restart"}));
        const QStringList writeRequests = caughtDatagrams(nobodyTftp);
        QVERIFY(!writeRequests.isEmpty());
        QVERIFY(writeRequests.first().startsWith(QString::fromLatin1("\0\2bla\0", 6)));
    } else {
        QCOMPARE(caughtDatagrams(nobodyCommands), QStringList());
        QVERIFY(!nobodyTftp.hasPendingDatagrams());
    }
}

void EndToEndTest::silenceMarksReadOutsAndRecoveryRefillsThem()
{
    QVERIFY(startSimulator({"--product", PowerZoomModel, "--lens", "zoom-is"}));
    QVERIFY(connectThroughDialog());
    LensDesk& w = *window;
    const QString zoom = named<QLineEdit>(w, "zoomVal")->text();
    QVERIFY(LensDeskTestAccess::livenessMonitor(w));
    QCOMPARE(LensDeskTestAccess::livenessMonitor(w)->period(), pingWorker::NormalPeriodMs);

    QVERIFY(silenceUntilLost());
    for (QLineEdit* readOut : allNamed<QLineEdit>(w, {"zoomVal", "focusVal", "irisVal"}))
        QCOMPARE(readOut->text(), QStringLiteral("N/A"));
    QVERIFY(!named<QSlider>(w, "irisSlider")->isEnabled());
    QVERIFY(!named<QPushButton>(w, "slowNarrowZoom")->isEnabled());
    TRY_COMPARE(LensDeskTestAccess::livenessMonitor(w)->period(), pingWorker::SlowPeriodMs);

    sim->sendSignal(SIGUSR1);
    QVERIFY(sim->waitForLog(QStringLiteral("-- speaks again")).hasMatch());
    // The next ping (at most 2 s away) is answered; the pace returns to normal.
    QTRY_COMPARE_WITH_TIMEOUT(LensDeskTestAccess::livenessMonitor(w)->period(), pingWorker::NormalPeriodMs,
                              pingWorker::SlowPeriodMs + TestWaits::reply());
    TRY_COMPARE(named<QLineEdit>(w, "zoomVal")->text(), zoom);
    TRY_COMPARE(named<QLabel>(w, "lensLabel")->text(), QStringLiteral("Lens: <b>18-55mm f/3.5</b>"));
    QVERIFY(named<QLineEdit>(w, "focusVal")->text() != QStringLiteral("N/A"));
    QVERIFY(named<QLineEdit>(w, "irisVal")->text().startsWith(QLatin1String("f/")));
    QVERIFY(named<QSlider>(w, "irisSlider")->isEnabled());
    QVERIFY(named<QPushButton>(w, "slowNarrowZoom")->isEnabled());
}

LENSDESK_TEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
