#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "StoredSettings.h"
#include "TestMain.h"

#include "app/ClickableLabel.h"
#include "base/SettingsStore.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "lens/zoomWorker.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>

namespace {

// Releases a slider at `value` as the operator does: press, move, release.
void dragSlider(QSlider* slider, int value)
{
    slider->setSliderDown(true);
    slider->setValue(value);
    slider->setSliderDown(false);
}

} // namespace

// The window's lens controls driven as the operator does, connected to a
// scripted peer that answers the liveness monitor's pings; the commands of
// the motion worker and of the window reach the peer, and the peer's replies
// confirm moves where a test needs a confirmation.
class LensControlsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Held motion buttons and step sliders.
    void heldZoomButtonStreamsWithoutPausingLiveness_data();
    void heldZoomButtonStreamsWithoutPausingLiveness();
    void heldFocusButtonPausesLivenessAndPaces();
    void zoomStepReachesTheWorkerOnRelease();
    void focusStepFollowsTheSlider();

    // Enabling rules and read-outs.
    void zoomStaysDisabledWithoutPowerZoom_data();
    void zoomStaysDisabledWithoutPowerZoom();
    void manualFocusUntilOverride();
    void disablingLeavesTheConnectionActions();
    void zoomAndFocusReadOuts();
    void irisReadOut_data();
    void irisReadOut();

    // Absolute moves.
    void apertureSliderRelease_data();
    void apertureSliderRelease();
    void apertureDragShowsTheFNumber();
    void fullClose_data();
    void fullClose();
    void fullOpen();
    void focusSliderRelease();
    void zoomSliderWaitsForZoomDone();
    void zoomSliderGivesUpWithoutConfirmation();

    // Stabiliser and zoom captions.
    void stabiliserAsksForItsTimeout();
    void swapZoomTwiceRestoresAndStoresFalse();

    // Limit finder.
    void cancelledLimitFinderShowsItsLine();
    void limitFinderMeasuresEveryEnd();
    void searchStepSignalsMoveThePositionSliders();

private:
    std::unique_ptr<ConnectedWindow> m_panel;
    ScriptedController* m_peer = nullptr;
    LensDesk* m_window = nullptr;
};

void LensControlsTest::init()
{
    m_panel = std::make_unique<ConnectedWindow>();
    m_peer = &m_panel->controller();
    QVERIFY(m_peer->isBound());
    m_window = &m_panel->window();
    // Before the controls are enabled, which restores the captions' order.
    m_panel->settings().remove(SettingsStore::ZoomCaptionsSwapped.key());
    m_panel->settings().sync();
    QVERIFY(m_panel->stage());
}

void LensControlsTest::cleanup() { m_panel.reset(); }

void LensControlsTest::heldZoomButtonStreamsWithoutPausingLiveness_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("command");
    QTest::newRow("fast wide") << QStringLiteral("fastWideZoom") << QStringLiteral("moveZoom=14");
    QTest::newRow("slow wide") << QStringLiteral("slowWideZoom") << QStringLiteral("moveZoom=7");
    // The only button that repeats itself while held (300 ms, then every
    // 100 ms): the repeats must not speed the stream up.
    QTest::newRow("slow narrow, auto-repeating") << QStringLiteral("slowNarrowZoom") << QStringLiteral("moveZoom=-7");
    QTest::newRow("fast narrow") << QStringLiteral("fastNarrowZoom") << QStringLiteral("moveZoom=-14");
}

void LensControlsTest::heldZoomButtonStreamsWithoutPausingLiveness()
{
    QFETCH(QString, button);
    QFETCH(QString, command);
    LensDesk& w = *m_window;
    auto* zoomButton = w.findChild<QPushButton*>(button);
    QVERIFY(zoomButton);
    dragSlider(named<QSlider>(w, "zoomStepSlider"), 7);
    QCOMPARE(named<QLabel>(w, "label_28")->text(), QStringLiteral("Step:7"));

    // Held for two seconds, long enough for a few dozen cycles and for the
    // auto-repeat to fire many times.
    constexpr int HoldMs = 2000;
    QElapsedTimer held;
    held.start();
    QTest::mousePress(zoomButton, Qt::LeftButton);
    QTest::qWait(HoldMs);
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
    QTest::mouseRelease(zoomButton, Qt::LeftButton);
    const qint64 heldMs = held.elapsed();
    // The worker's cycle under way at the release may still send.
    QTest::qWait(TestWaits::quiet());
    const QStringList sent = m_peer->receivedUntilNow();
    const int streamed = sent.size();

    for (const QString& text : sent)
        QCOMPARE(text, command);
    // One command per 40 ms cycle at most: a busy machine makes the stream
    // slower, never faster. Nor may it falter.
    const qint64 mostPossible = heldMs / zoomWorker::CycleMs + 2;
    QVERIFY2(streamed <= mostPossible, qPrintable(QStringLiteral("%1 commands in %2 ms").arg(streamed).arg(heldMs)));
    QVERIFY2(streamed >= HoldMs / 150, qPrintable(QStringLiteral("%1 commands in %2 ms").arg(streamed).arg(heldMs)));
    // Nothing follows the release.
    QTest::qWait(TestWaits::quiet());
    QCOMPARE(m_peer->receivedUntilNow().size(), streamed);
}

void LensControlsTest::heldFocusButtonPausesLivenessAndPaces()
{
    LensDesk& w = *m_window;
    QTest::mousePress(named<QPushButton>(w, "slowNearFocus"), Qt::LeftButton);
    QVERIFY(LensDeskTestAccess::livenessMonitor(w)->isPaused());
    TRY_VERIFY(m_peer->commands().size() >= 4);
    QTest::mouseRelease(named<QPushButton>(w, "slowNearFocus"), Qt::LeftButton);
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());

    for (const QString& text : m_peer->commands())
        QCOMPARE(text, QStringLiteral("moveFocus=5"));
    const double interval = m_peer->meanInterval(QStringLiteral("moveFocus"));
    QVERIFY2(interval > 200 && interval < 700, qPrintable(QString::number(interval)));
}

void LensControlsTest::zoomStepReachesTheWorkerOnRelease()
{
    LensDesk& w = *m_window;
    named<QSlider>(w, "zoomStepSlider")->setValue(3);
    QCOMPARE(LensDeskTestAccess::motionWorker(w)->zoomStep.load(), 10);
    dragSlider(named<QSlider>(w, "zoomStepSlider"), 4);
    QCOMPARE(LensDeskTestAccess::motionWorker(w)->zoomStep.load(), 4);
    QCOMPARE(named<QLabel>(w, "label_28")->text(), QStringLiteral("Step:4"));
}

void LensControlsTest::focusStepFollowsTheSlider()
{
    LensDesk& w = *m_window;
    named<QSlider>(w, "focusStepSlider")->setValue(12);
    QCOMPARE(LensDeskTestAccess::motionWorker(w)->focusStep.load(), 12);
    QCOMPARE(named<QLabel>(w, "label_27")->text(), QStringLiteral("Step:12"));
}

void LensControlsTest::zoomStaysDisabledWithoutPowerZoom_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<bool>("zoomEnabled");
    QTest::newRow("power zoom") << "ORVO KX-MQTR" << true;
    QTest::newRow("other model") << "ORVO RE-2" << false;
    QTest::newRow("third model") << "ORVO DuvudER" << false;
}

void LensControlsTest::zoomStaysDisabledWithoutPowerZoom()
{
    QFETCH(QString, product);
    QFETCH(bool, zoomEnabled);
    LensDesk& w = *m_window;
    w.setLensControlsEnabled(false);
    // The connection enables the controls the model has.
    QVERIFY(m_panel->identify(product + QStringLiteral("=1.9.0")));
    for (QWidget* zoom : allNamed<QWidget>(
             w, {"zoomSlider", "fastWideZoom", "slowWideZoom", "slowNarrowZoom", "fastNarrowZoom", "zoomStepSlider"}))
        QCOMPARE(zoom->isEnabled(), zoomEnabled);
    for (QWidget* other :
         allNamed<QWidget>(w, {"focusSlider", "irisSlider", "fastNearFocus", "fastCloseIris", "fastOpenIris"}))
        QVERIFY(other->isEnabled());
    QVERIFY(named<QAction>(w, "actionSavePresets")->isEnabled());
    QVERIFY(!named<QAction>(w, "actionMultiControl")->isEnabled());
}

void LensControlsTest::manualFocusUntilOverride()
{
    LensDesk& w = *m_window;
    QVERIFY(LensDeskTestAccess::afEnabled(w));
    // The lens's AF switch set to MF: the controller says so, also in its
    // answers to pings.
    m_peer->answer(QStringLiteral("ping"), {QStringLiteral("AF=0")});
    QVERIFY(m_panel->report({"AF=0"}));
    QVERIFY(!LensDeskTestAccess::afEnabled(w));
    w.setLensControlsEnabled(true);
    QVERIFY(!named<QPushButton>(w, "fastNearFocus")->isEnabled());
    w.focusUpdateVal(500);
    QCOMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("Manual"));
    QVERIFY(!named<QPushButton>(w, "slowFarFocus")->isEnabled());
    QVERIFY(!named<QSlider>(w, "focusStepSlider")->isEnabled());

    w.overloadAF();
    w.focusUpdateVal(500);
    QCOMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("500"));
    QVERIFY(LensDeskTestAccess::afEnabled(w));
    for (QWidget* focus : allNamed<QWidget>(
             w, {"focusSlider", "fastFarFocus", "slowFarFocus", "slowNearFocus", "fastNearFocus", "focusStepSlider"}))
        QVERIFY(focus->isEnabled());
    QCOMPARE(named<QSlider>(w, "focusSlider")->value(), 10); // the default range ends at 10
}

void LensControlsTest::disablingLeavesTheConnectionActions()
{
    LensDesk& w = *m_window;
    w.disableLensControls();
    for (QWidget* widget : allNamed<QWidget>(w,
                                             {"zoomSlider", "fastWideZoom", "focusSlider", "irisSlider",
                                              "fastNearFocus", "fastCloseIris", "slowOpenIris"}))
        QVERIFY(!widget->isEnabled());
    QVERIFY(!named<QAction>(w, "actionSwap_Zoom_Direction")->isEnabled());
    const QList<QAction*> connectionActions = allNamed<QAction>(
        w, {"actionSet_a_name", "actionChange_IP", "actionReboot", "actionLoadPresets", "actionSavePresets"});
    for (QAction* action : connectionActions)
        QVERIFY(action->isEnabled());

    w.setLensControlsEnabled(false);
    for (QAction* action : connectionActions)
        QVERIFY(!action->isEnabled());
}

void LensControlsTest::zoomAndFocusReadOuts()
{
    LensDesk& w = *m_window;
    QVERIFY(m_panel->report({"zRange=24,2000", "fRange=0,1023"}));
    w.zoomUpdateVal(1234);
    w.focusUpdateVal(850);
    QCOMPARE(named<QLineEdit>(w, "zoomVal")->text(), QStringLiteral("1234"));
    QCOMPARE(named<QSlider>(w, "zoomSlider")->value(), 1234);
    QCOMPARE(LensDeskTestAccess::currentZoom(w), 1234);
    QCOMPARE(named<QLineEdit>(w, "focusVal")->text(), QStringLiteral("850"));
    QCOMPARE(named<QSlider>(w, "focusSlider")->value(), 850);
    QCOMPARE(LensDeskTestAccess::currentFocus(w), 850);
}

void LensControlsTest::irisReadOut_data()
{
    QTest::addColumn<float>("fNumber");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::newRow("on the scale") << 5.6f << "f/5.6" << 15;
    QTest::newRow("not on the scale") << 1.2f << "f/1.2" << -1;
    QTest::newRow("whole number") << 22.0f << "f/22" << 27;
}

void LensControlsTest::irisReadOut()
{
    QFETCH(float, fNumber);
    QFETCH(QString, text);
    QFETCH(int, index);
    LensDesk& w = *m_window;
    // A lens of f/1.2 to f/22: its widest end is not on the scale.
    QVERIFY(m_panel->report({"aRange=1.2,22"}));
    named<QSlider>(w, "irisSlider")->setValue(20);
    w.irisUpdateVal(fNumber);
    QCOMPARE(named<QLineEdit>(w, "irisVal")->text(), text);
    QCOMPARE(named<QSlider>(w, "irisSlider")->value(), index);
    QCOMPARE(LensDeskTestAccess::currentIris(w), fNumber);
}

void LensControlsTest::apertureSliderRelease_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("widest") << 0 << QStringList{"setAper=1"};
    QTest::newRow("5.6") << 15 << QStringList{"setAper=5.6"};
    QTest::newRow("22") << 27 << QStringList{"setAper=22"};
    QTest::newRow("off the scale") << -1 << QStringList{};
}

void LensControlsTest::apertureSliderRelease()
{
    QFETCH(int, index);
    QFETCH(QStringList, sent);
    LensDesk& w = *m_window;
    // A lens of f/1.2 to f/90: its widest end is not on the scale.
    QVERIFY(m_panel->report({"aRange=1.2,90"}));
    named<QSlider>(w, "irisSlider")->setValue(30);
    named<QSlider>(w, "irisSlider")->setSliderDown(true);
    QVERIFY(LensDeskTestAccess::livenessMonitor(w)->isPaused());
    named<QSlider>(w, "irisSlider")->setValue(index);
    named<QSlider>(w, "irisSlider")->setSliderDown(false);
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
    QCOMPARE(m_peer->receivedUntilNow(), sent);
}

void LensControlsTest::apertureDragShowsTheFNumber()
{
    LensDesk& w = *m_window;
    w.aperSliderMoved(15);
    QCOMPARE(named<QSlider>(w, "irisSlider")->toolTip(), QStringLiteral("15"));
    TRY_COMPARE(QToolTip::text(), QStringLiteral("f/5.6"));
}

void LensControlsTest::fullClose_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("f/22") << "f/22" << QStringList{"setAper=22"};
    QTest::newRow("f/5.6") << "f/5.6" << QStringList{"setAper=5.6"};
    QTest::newRow("no range reported") << "n/a" << QStringList{};
}

void LensControlsTest::fullClose()
{
    QFETCH(QString, caption);
    QFETCH(QStringList, sent);
    LensDesk& w = *m_window;
    named<QPushButton>(w, "pushButtonClose")->setText(caption);
    QTest::mouseClick(named<QPushButton>(w, "pushButtonClose"), Qt::LeftButton);
    QCOMPARE(m_peer->receivedUntilNow(), sent);
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
}

void LensControlsTest::fullOpen()
{
    LensDesk& w = *m_window;
    QTest::mouseClick(named<QPushButton>(w, "pushButtonOpen"), Qt::LeftButton);
    QCOMPARE(m_peer->receivedUntilNow(), QStringList{"openAper"});
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
}

void LensControlsTest::focusSliderRelease()
{
    LensDesk& w = *m_window;
    QVERIFY(m_panel->report({"fRange=0,1023"}));
    dragSlider(named<QSlider>(w, "focusSlider"), 640);
    QCOMPARE(m_peer->receivedUntilNow(), QStringList{"setFocus=640"});
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
}

void LensControlsTest::zoomSliderWaitsForZoomDone()
{
    LensDesk& w = *m_window;
    // The lens takes a while to get there; then the controller confirms.
    ScriptedController* peer = m_peer;
    const quint16 port = m_panel->panelPort();
    connect(m_peer, &ScriptedController::commandReceived, this, [peer, port](const QString& text) {
        if (text.startsWith(QLatin1String("setZoom=")))
            QTimer::singleShot(900, peer, [peer, port] { peer->sendTo(port, "zoomDone"); });
    });
    QString shownText;
    m_panel->modals().expect<QProgressDialog>(
        [&shownText](QProgressDialog* progress) { shownText = progress->labelText(); });
    QElapsedTimer clock;
    clock.start();
    dragSlider(named<QSlider>(w, "zoomSlider"), 8);
    QVERIFY(clock.elapsed() >= 800);
    QCOMPARE(m_peer->receivedUntilNow(), QStringList{"setZoom=8"});
    QCOMPARE(shownText, QStringLiteral("Please wait..."));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
}

void LensControlsTest::zoomSliderGivesUpWithoutConfirmation()
{
    LensDesk& w = *m_window;
    QElapsedTimer clock;
    clock.start();
    dragSlider(named<QSlider>(w, "zoomSlider"), 3);
    QVERIFY(clock.elapsed() >= LensWaits::MoveConfirmTimeoutMs - 100);
    QCOMPARE(m_peer->receivedUntilNow(), QStringList{"setZoom=3"});
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("The controller did not confirm the move."));
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
    QVERIFY(named<QPushButton>(w, "fastNarrowZoom")->isEnabled());
}

void LensControlsTest::stabiliserAsksForItsTimeout()
{
    LensDesk& w = *m_window;
    named<QCheckBox>(w, "checkBoxIS")->setEnabled(true);
    QString title, label;
    int minimum = 0, maximum = 0, initial = 0;
    m_panel->modals().expect<QInputDialog>([&](QInputDialog* dialog) {
        title = dialog->windowTitle();
        label = dialog->labelText();
        minimum = dialog->intMinimum();
        maximum = dialog->intMaximum();
        initial = dialog->intValue();
        dialog->setIntValue(30);
        dialog->accept();
    });
    QTest::mouseClick(named<QCheckBox>(w, "checkBoxIS"), Qt::LeftButton);
    QCOMPARE(m_peer->receivedUntilNow(), QStringList{"enableIS=30"});
    QCOMPARE(title, QStringLiteral("IS Timeout"));
    QCOMPARE(label, QStringLiteral("Timeout,s"));
    QCOMPARE(initial, 60);
    QCOMPARE(minimum, 1);
    QCOMPARE(maximum, 60);

    QTest::mouseClick(named<QCheckBox>(w, "checkBoxIS"), Qt::LeftButton);
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"enableIS=30", "enableIS=0"}));
    QVERIFY(!named<QCheckBox>(w, "checkBoxIS")->isChecked());

    m_panel->modals().expect<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    QTest::mouseClick(named<QCheckBox>(w, "checkBoxIS"), Qt::LeftButton);
    QCOMPARE(m_peer->receivedUntilNow().size(), 2);
    QVERIFY(named<QCheckBox>(w, "checkBoxIS")->isChecked());
}

void LensControlsTest::swapZoomTwiceRestoresAndStoresFalse()
{
    LensDesk& w = *m_window;
    const QRect wide = named<QLabel>(w, "label_7")->geometry();
    named<QAction>(w, "actionSwap_Zoom_Direction")->trigger();
    QCOMPARE(named<QLabel>(w, "label_7")->geometry(), QRect(90, 41, 38, 16));
    QCOMPARE(named<QLabel>(w, "label_8")->geometry(), QRect(11, 41, 36, 16));
    // Written through at once: the file on disk already holds it.
    QVERIFY(storedFileText(&m_panel->settings()).contains(QStringLiteral("LAST_ZOOM_SW=true")));

    named<QAction>(w, "actionSwap_Zoom_Direction")->trigger();
    QCOMPARE(named<QLabel>(w, "label_7")->geometry(), QRect(11, 41, 36, 16));
    QCOMPARE(named<QLabel>(w, "label_8")->geometry(), QRect(90, 41, 38, 16));
    QCOMPARE(named<QLabel>(w, "label_7")->geometry().x(), wide.x());
    QVERIFY(storedFileText(&m_panel->settings()).contains(QStringLiteral("LAST_ZOOM_SW=false")));
}

void LensControlsTest::cancelledLimitFinderShowsItsLine()
{
    LensDesk& w = *m_window;
    // What an earlier run of the limit finder measured.
    QVERIFY(LensDeskTestAccess::setMeasuredLimits(w, {24, 105, 0, 1000, 22.0f, 4.0f}));
    const zoomWorker& worker = *LensDeskTestAccess::motionWorker(w);

    QString label;
    bool controlsWereOff = false;
    m_panel->modals().expect<QProgressDialog>([&](QProgressDialog* progress) {
        label = progress->labelText();
        controlsWereOff = !named<QPushButton>(w, "fastOpenIris")->isEnabled();
        progress->cancel();
    });
    w.findLimits();

    QCOMPARE(label, QStringLiteral("Finding lens limits..."));
    QVERIFY(controlsWereOff);
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
    QCOMPARE(named<ClickableLabel>(w, "nameLabel")->text(),
             QStringLiteral("%1 - Limits: [24,105] [0,1000] [22,4]").arg(m_peer->address()));
    for (const std::atomic<bool>* flag :
         {&worker.searchZoomNarrow, &worker.searchZoomWide, &worker.searchFocusNear, &worker.searchFocusFar,
          &worker.searchIrisOpen, &worker.searchIrisClose, &worker.zoomFastNarrow, &worker.zoomFastWide,
          &worker.focusFastNear, &worker.focusFastFar, &worker.irisFastOpen, &worker.irisFastClose})
        QVERIFY(!flag->load());
    // The step under way when the cancel came is the last one: a step
    // leaves within a worker cycle, and the next would follow its settling.
    QTest::qWait(TestWaits::scaled(zoomWorker::CycleMs + zoomWorker::PauseAfterCommandMs + zoomWorker::SearchSettleMs));
    const int sent = m_peer->receivedUntilNow().size();
    QVERIFY(sent <= 2);
    QTest::qWait(TestWaits::quiet());
    QCOMPARE(m_peer->receivedUntilNow().size(), sent);
}

void LensControlsTest::limitFinderMeasuresEveryEnd()
{
    LensDesk& w = *m_window;
    const zoomWorker& worker = *LensDeskTestAccess::motionWorker(w);
    // The controller drives each end and reports where it stopped.
    const QStringList searchSteps = {"ZoomN=70", "ZoomW=70", "FocusN=35", "FocusF=35", "IrisO=7", "IrisC=7"};
    const QStringList reachedEnds = {"Zoom=105", "Zoom=24", "Focus=1000", "Focus=3", "Iris=4", "Iris=22"};
    for (int i = 0; i < searchSteps.size(); ++i)
        m_peer->answer(searchSteps.at(i), {reachedEnds.at(i)});
    w.findLimits();
    QCOMPARE(named<ClickableLabel>(w, "nameLabel")->text(),
             QStringLiteral("%1 - Limits: [24,105] [3,1000] [22,4]").arg(m_peer->address()));
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
    QVERIFY(!worker.zoomFastNarrow && !worker.zoomFastWide && !worker.focusFastNear && !worker.focusFastFar
            && !worker.irisFastOpen && !worker.irisFastClose);
    for (const QString& step : searchSteps)
        QVERIFY2(m_peer->texts().contains(step), qPrintable(step));
}

void LensControlsTest::searchStepSignalsMoveThePositionSliders()
{
    LensDesk& w = *m_window;
    w.updateZoomStep(7);
    w.updateFocusStep(4);
    QVERIFY(m_panel->report({"aRange=1,90"}));
    w.updateIrisStep(2);
    QCOMPARE(named<QSlider>(w, "zoomSlider")->value(), 7);
    QCOMPARE(named<QSlider>(w, "focusSlider")->value(), 4);
    QCOMPARE(named<QSlider>(w, "irisSlider")->value(), 2);
}

LENSDESK_TEST_MAIN(LensControlsTest)
#include "tst_lenscontrols.moc"
