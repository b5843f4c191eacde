#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "StoredSettings.h"
#include "TestMain.h"

#include "base/SettingsStore.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "lens/ProfileText.h"
#include "lens/loadSettDlg.h"
#include "lens/zoomWorker.h"
#include "link/pingWorker.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <memory>

// Saving, describing, deleting and recalling lens positions through the
// window and its load dialog, against a scripted controller on loopback that
// confirms the moves (or does not) as a controller would.
class SetPointsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Saving.
    void savedUnderThreeIsRecalledByCtrl3();
    void savingBeforeAnyReportStoresMinusOnes();
    void cancelledOrEmptyNameSavesNothing();

    // The checks before a recall.
    void lensCheck_data();
    void lensCheck();
    void rangeChecks_data();
    void rangeChecks();
    void absentOrEmptyProfileDoesNothing_data();
    void absentOrEmptyProfileDoesNothing();
    void incompleteValueIsDescribedAndRefused();
    void handEditedListIsRecalled();

    // The recall sequence.
    void withoutPowerZoomTheFirstWaitStillWaits();
    void cancelEndsOnlyTheWaitUnderWay();
    void zoomStepEndsOnAnyConfirmation_data();
    void zoomStepEndsOnAnyConfirmation();
    void unconfirmedZoomStillDrivesFocusAndAperture();
    void recallGivesUpWithoutConfirmation();
    void givenUpRecallKeepsTheMissedPings_data();
    void givenUpRecallKeepsTheMissedPings();

    // The load dialog.
    void namesWithSeparatorsRoundTrip();
    void dialogDescribesTheSelection();
    void deleteAsksFirstAndDisablesAtLast();
    void closingTheDialogResumesLiveness();

private:
    void saveAs(const QString& name);
    void store(const QString& name, const QVariant& value);
    void confirmMovesAfter(int delayMs);
    // Connects anew to a controller of this model; its log starts empty.
    void reconnectTo(const QString& product);

    std::unique_ptr<ConnectedWindow> m_panel;
    ScriptedController* m_peer = nullptr;
    LensDesk* m_window = nullptr;
};

void SetPointsTest::init()
{
    m_panel = std::make_unique<ConnectedWindow>();
    m_peer = &m_panel->controller();
    QVERIFY(m_peer->isBound());
    m_window = &m_panel->window();
    m_panel->profiles().remove(QString());
    m_panel->profiles().sync();
    QVERIFY(m_panel->stage());
    // A 24-70 mm lens.
    QVERIFY(m_panel->report({"zRange=24,70"}));
}

void SetPointsTest::cleanup() { m_panel.reset(); }

void SetPointsTest::saveAs(const QString& name)
{
    m_panel->modals().expect<QInputDialog>([name](QInputDialog* dialog) {
        dialog->setTextValue(name);
        dialog->accept();
    });
    named<QAction>(*m_window, "actionSavePresets")->trigger();
}

void SetPointsTest::store(const QString& name, const QVariant& value)
{
    SettingsStore::writeThrough(&m_panel->profiles(), ProfileText::keyForName(name), value);
}

void SetPointsTest::reconnectTo(const QString& product)
{
    QVERIFY(m_panel->identify(product + QStringLiteral("=1.9.0")));
    QVERIFY(m_peer->awaitReceived());
    m_peer->clear();
}

// The controller reports focus and iris settled `delayMs` after a zoom
// command, and focus done after a focus command.
void SetPointsTest::confirmMovesAfter(int delayMs)
{
    ScriptedController* peer = m_peer;
    const quint16 port = m_panel->panelPort();
    connect(m_peer, &ScriptedController::commandReceived, this, [peer, port, delayMs](const QString& text) {
        QList<QByteArray> replies;
        if (text.startsWith(QLatin1String("setZoom=")))
            replies = {"focusDone", "irisDone"};
        else if (text.startsWith(QLatin1String("setFocus2=")))
            replies = {"focusDone"};
        QTimer::singleShot(delayMs, peer, [peer, port, replies] {
            for (const QByteArray& reply : replies)
                peer->sendTo(port, reply);
        });
    });
}

void SetPointsTest::savedUnderThreeIsRecalledByCtrl3()
{
    LensDesk& w = *m_window;
    w.zoomUpdateVal(35);
    w.focusUpdateVal(500);
    w.irisUpdateVal(4.0f);

    QString title, label, initial = QStringLiteral("unset");
    m_panel->modals().expect<QInputDialog>([&](QInputDialog* dialog) {
        title = dialog->windowTitle();
        label = dialog->labelText();
        initial = dialog->textValue();
        dialog->setTextValue(QStringLiteral("3"));
        dialog->accept();
    });
    named<QAction>(w, "actionSavePresets")->trigger();
    QCOMPARE(title, QStringLiteral("Setpoint Name"));
    QCOMPARE(label, QStringLiteral("Setpoint Name"));
    QVERIFY(initial.isEmpty());
    // On disk at once: closing the window ends the process.
    QVERIFY(storedFileText(&m_panel->profiles()).contains(QStringLiteral("35,500,4")));

    confirmMovesAfter(500);
    // Only the recall may pause or resume the liveness monitor from here on.
    QVERIFY(m_panel->stopAnsweringPings());
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_3, Qt::ControlModifier);

    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setZoom=35", "setFocus2=500", "setAper=4"}));
    const QVector<ScriptedController::Command> log = m_peer->commandLog();
    // Each next command waited for the confirmation of the one before.
    QVERIFY2(log.at(1).atMs - log.at(0).atMs >= 450, qPrintable(QString::number(log.at(1).atMs - log.at(0).atMs)));
    QVERIFY2(log.at(2).atMs - log.at(1).atMs >= 450, qPrintable(QString::number(log.at(2).atMs - log.at(1).atMs)));
    QVERIFY(named<QPushButton>(w, "fastNarrowZoom")->isEnabled());
    QVERIFY(LensDeskTestAccess::livenessMonitor(w)->isPaused());
    QVERIFY(!QApplication::activeModalWidget());
}

void SetPointsTest::savingBeforeAnyReportStoresMinusOnes()
{
    saveAs(QStringLiteral("early"));
    QCOMPARE(ProfileText::valueText(m_panel->profiles().value(QStringLiteral("early"))), QStringLiteral("-1,-1,-1"));
}

void SetPointsTest::cancelledOrEmptyNameSavesNothing()
{
    m_panel->modals().expect<QInputDialog>([](QInputDialog* dialog) {
        dialog->setTextValue(QStringLiteral("never"));
        dialog->reject();
    });
    named<QAction>(*m_window, "actionSavePresets")->trigger();
    saveAs(QString());
    QVERIFY(m_panel->profiles().childKeys().isEmpty());
}

void SetPointsTest::lensCheck_data()
{
    QTest::addColumn<int>("wide");
    QTest::addColumn<int>("tele");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("fits");
    QTest::newRow("35 on a 24-70") << 24 << 70 << "35,500,4" << true;
    QTest::newRow("35 on a 70-200") << 70 << 200 << "35,500,4" << false;
    QTest::newRow("ends included") << 24 << 70 << "70,500,4" << true;
    QTest::newRow("prime 50, profile 50") << 50 << 50 << "50,500,4" << true;
    QTest::newRow("prime 50, profile 51") << 50 << 50 << "51,500,4" << false;
    QTest::newRow("prime 50, profile 49") << 50 << 50 << "49,500,4" << false;
}

void SetPointsTest::lensCheck()
{
    QFETCH(int, wide);
    QFETCH(int, tele);
    QFETCH(QString, profile);
    QFETCH(bool, fits);
    LensDesk& w = *m_window;
    QVERIFY(m_panel->report({QStringLiteral("zRange=%1,%2").arg(wide).arg(tele).toLatin1()}));
    store(QStringLiteral("7"), profile);
    confirmMovesAfter(0);

    ModalAnswerer::Box box;
    m_panel->modals().expectBox(QMessageBox::Ok, &box);
    w.loadSetPointNow7();
    if (fits) {
        QCOMPARE(m_peer->receivedUntilNow().value(0), QStringLiteral("setZoom=%1").arg(profile.section(',', 0, 0)));
        QVERIFY(box.title.isEmpty());
    } else {
        QCOMPARE(box.title, QStringLiteral("Wrong presets"));
        QCOMPARE(box.text, QStringLiteral("This presets is for the different lens!"));
        QVERIFY(m_peer->receivedUntilNow().isEmpty());
    }
    QVERIFY(named<QPushButton>(w, "fastNarrowZoom")->isEnabled());
}

void SetPointsTest::rangeChecks_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QVector<int>>("limits");       // zoom wide, narrow, focus far, near
    QTest::addColumn<QVector<float>>("irisLimits"); // close, open
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const char* product, const QVector<int>& limits,
                        const QVector<float>& irisLimits, const char* profile,
                        const char* message) { dataRow(name, product, limits, irisLimits, profile, message); };
    const char* const mqtr = "ORVO KX-MQTR";
    const char* const focus100 = "Focus value 100 is out of range [100,900] for this lens!";
    const char* const zoom60 = "Zoom value 60 is out of range [30,60] for this lens!";
    const char* const zoom25 = "Zoom value 25 is out of range [30,60] for this lens!";
    const char* const iris28 = "Iris value 2.8 is out of range [22,4] for zoom/lens!";
    row("nothing measured", mqtr, {0, 0, 0, 0}, {0, 0}, "35,500,4", "");
    row("focus bounds are exclusive", mqtr, {0, 0, 100, 900}, {0, 0}, "35,100,4", focus100);
    row("focus inside", mqtr, {0, 0, 100, 900}, {0, 0}, "35,101,4", "");
    row("focus half measured", mqtr, {0, 0, 0, 900}, {0, 0}, "35,1000,4", "");
    row("zoom at its limit", mqtr, {30, 60, 0, 0}, {0, 0}, "60,500,4", zoom60);
    row("zoom limits apply to power zoom only", "ORVO RE-2", {30, 60, 0, 0}, {0, 0}, "65,500,4", "");
    row("zoom first", mqtr, {30, 60, 100, 900}, {0, 0}, "25,50,4", zoom25);
    row("iris beyond the open end", mqtr, {0, 0, 0, 0}, {22, 4}, "35,500,2.8", iris28);
    row("iris between its ends", mqtr, {0, 0, 0, 0}, {22, 4}, "35,500,5.6", "");
}

void SetPointsTest::rangeChecks()
{
    QFETCH(QString, product);
    QFETCH(QVector<int>, limits);
    QFETCH(QVector<float>, irisLimits);
    QFETCH(QString, profile);
    QFETCH(QString, message);
    LensDesk& w = *m_window;
    reconnectTo(product);
    // What the limit finder measured on this connection.
    QVERIFY(LensDeskTestAccess::setMeasuredLimits(
        w, {limits.at(0), limits.at(1), limits.at(2), limits.at(3), irisLimits.at(0), irisLimits.at(1)}));
    store(QStringLiteral("range"), profile);
    confirmMovesAfter(0);

    QString title, text;
    bool progressGone = false;
    m_panel->modals().expect<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        progressGone = w.findChildren<QProgressDialog*>().isEmpty()
            || !w.findChildren<QProgressDialog*>().constLast()->isVisible();
        box->accept();
    });
    w.loadSetPointNow(QStringLiteral("range"));
    if (message.isEmpty()) {
        QVERIFY(title.isEmpty());
        const QStringList sent = m_peer->receivedUntilNow();
        QVERIFY(!sent.isEmpty());
        QCOMPARE(sent.constLast(),
                 QStringLiteral("setAper=%1").arg(FNumbers::shortest(ProfileText::parse(profile).iris)));
    } else {
        QCOMPARE(title, QStringLiteral("Apllying Settings error"));
        QCOMPARE(text, message);
        QVERIFY(progressGone);
        QVERIFY(m_peer->receivedUntilNow().isEmpty());
        // A refused recall gives the liveness monitor back.
        QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
    }
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
}

void SetPointsTest::absentOrEmptyProfileDoesNothing_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("absent") << QVariant();
    QTest::newRow("0,0,0") << QVariant(QStringLiteral("0,0,0"));
}

void SetPointsTest::absentOrEmptyProfileDoesNothing()
{
    QFETCH(QVariant, stored);
    LensDesk& w = *m_window;
    if (stored.isValid())
        store(QStringLiteral("5"), stored);
    bool sawModal = false;
    m_panel->modals().expect<QWidget>([&sawModal](QWidget*) { sawModal = true; });
    w.loadSetPointNow5();
    QTest::qWait(TestWaits::quiet());
    QVERIFY(!sawModal);
    QVERIFY(m_peer->receivedUntilNow().isEmpty());
    // Nothing was driven: the monitor watches the controller again.
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
}

void SetPointsTest::incompleteValueIsDescribedAndRefused()
{
    LensDesk& w = *m_window;
    store(QStringLiteral("typed"), QStringLiteral("50,812"));
    w.loadSettings();
    QCOMPARE(w.findChild<loadSettDlg*>()->comboBox->currentText(), QStringLiteral("typed"));
    w.findChild<loadSettDlg*>()->profileChanged(QStringLiteral("typed"));
    QCOMPARE(w.findChild<loadSettDlg*>()->label->text(), QStringLiteral("50mm 812 f/0"));

    ModalAnswerer::Box box;
    m_panel->modals().expectBox(QMessageBox::Ok, &box);
    QTest::mouseClick(w.findChild<loadSettDlg*>()->loadButton, Qt::LeftButton);
    TRY_COMPARE(m_panel->modals().pending(), 0);
    QCOMPARE(box.title, QStringLiteral("Wrong presets"));
    QVERIFY2(box.text.contains(QStringLiteral("\"50,812\"")), qPrintable(box.text));
    QVERIFY(m_peer->receivedUntilNow().isEmpty());
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
}

void SetPointsTest::handEditedListIsRecalled()
{
    // Typed into the store without quotes, the value reads back as a list.
    LensDesk& w = *m_window;
    store(QStringLiteral("1"), QStringList{"35", "500", "4"});
    confirmMovesAfter(0);
    w.loadSetPointNow1();
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setZoom=35", "setFocus2=500", "setAper=4"}));
}

void SetPointsTest::withoutPowerZoomTheFirstWaitStillWaits()
{
    LensDesk& w = *m_window;
    // A model without power zoom whose focus and aperture are still moving.
    reconnectTo(QStringLiteral("ORVO RE-2"));
    QVERIFY(m_panel->leaveMovesUnconfirmed());
    QVERIFY(!LensDeskTestAccess::focusDoneFlag(w) && !LensDeskTestAccess::irisDoneFlag(w));
    store(QStringLiteral("2"), QStringLiteral("35,500,5.6"));
    confirmMovesAfter(0);
    // They settle 800 ms after the recall begins.
    ScriptedController* peer = m_peer;
    const quint16 port = m_panel->panelPort();
    const qint64 recallAt = m_peer->elapsedMs();
    QTimer::singleShot(800, peer, [peer, port] {
        peer->sendTo(port, "focusDone");
        peer->sendTo(port, "irisDone");
    });
    w.loadSetPointNow2();
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setFocus2=500", "setAper=5.6"}));
    const qint64 firstAfter = m_peer->commandLog().at(0).atMs - recallAt;
    QVERIFY2(firstAfter >= 700, qPrintable(QString::number(firstAfter)));
    QVERIFY(LensDeskTestAccess::zoomDoneFlag(w));
}

void SetPointsTest::cancelEndsOnlyTheWaitUnderWay()
{
    LensDesk& w = *m_window;
    store(QStringLiteral("4"), QStringLiteral("35,500,4"));
    QString label, title;
    connect(m_peer, &ScriptedController::commandReceived, this, [&](const QString& text) {
        if (!text.startsWith(QLatin1String("setZoom=")))
            return;
        QTimer::singleShot(300, &w, [&] {
            auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            QVERIFY(progress);
            label = progress->labelText();
            title = progress->windowTitle();
            progress->cancel();
        });
    });
    w.loadSetPointNow4();
    QCOMPARE(label, QStringLiteral("Setting lens positions... [35,500,4]"));
    QCOMPARE(title, QStringLiteral("Canon Lens Controller"));
    QCOMPARE(m_peer->receivedUntilNow(),
             (QStringList{"setZoom=35", "stopFocus", "setFocus2=500", "stopFocus", "setAper=4"}));
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
}

void SetPointsTest::zoomStepEndsOnAnyConfirmation_data()
{
    QTest::addColumn<QStringList>("zoomReplies");
    QTest::newRow("zoomDone alone") << QStringList{"Zoom=35", "zoomDone"};
    QTest::newRow("zoomDone, then the held focus and iris") << QStringList{"zoomDone", "focusDone", "irisDone"};
    QTest::newRow("the held focus and iris alone") << QStringList{"focusDone", "irisDone"};
    QTest::newRow("refused") << QStringList{"errorRange: zoom busy"};
}

// Controllers differ in what follows a zoom move, and may refuse one: every
// way the zoom step ends lets focus and aperture follow at once.
void SetPointsTest::zoomStepEndsOnAnyConfirmation()
{
    QFETCH(QStringList, zoomReplies);
    LensDesk& w = *m_window;
    store(QStringLiteral("8"), QStringLiteral("35,500,4"));
    m_peer->answer(QStringLiteral("setZoom=35"), zoomReplies);
    m_peer->answer(QStringLiteral("setFocus2=500"), {QStringLiteral("focusDone")});
    QElapsedTimer clock;
    clock.start();
    w.loadSetPointNow8();
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setZoom=35", "setFocus2=500", "setAper=4"}));
    QVERIFY2(clock.elapsed() < LensWaits::MoveConfirmTimeoutMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
}

// A zoom move the controller never confirms: once its wait runs out the
// status bar says so, and focus and aperture still go.
void SetPointsTest::unconfirmedZoomStillDrivesFocusAndAperture()
{
    LensDesk& w = *m_window;
    store(QStringLiteral("9"), QStringLiteral("35,500,4"));
    m_peer->answer(QStringLiteral("setFocus2=500"), {QStringLiteral("focusDone")});
    QStringList messages;
    connect(w.statusBar(), &QStatusBar::messageChanged, this, [&messages](const QString& message) {
        if (!message.isEmpty())
            messages << message;
    });
    QElapsedTimer clock;
    clock.start();
    w.loadSetPointNow9();
    QVERIFY(clock.elapsed() >= LensWaits::MoveConfirmTimeoutMs);
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setZoom=35", "setFocus2=500", "setAper=4"}));
    QCOMPARE(messages,
             QStringList{QStringLiteral("The controller did not confirm the zoom move; focus and aperture follow.")});
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
}

void SetPointsTest::recallGivesUpWithoutConfirmation()
{
    LensDesk& w = *m_window;
    store(QStringLiteral("6"), QStringLiteral("35,500,4"));
    QElapsedTimer clock;
    clock.start();
    w.loadSetPointNow6();
    // The zoom's wait and then the focus's wait run out.
    QVERIFY(clock.elapsed() >= 2 * LensWaits::MoveConfirmTimeoutMs);
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setZoom=35", "setFocus2=500"}));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(named<QPushButton>(w, "fastOpenIris")->isEnabled());
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("The controller did not confirm the move."));
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
}

void SetPointsTest::givenUpRecallKeepsTheMissedPings_data()
{
    QTest::addColumn<QString>("identification");
    QTest::addColumn<bool>("silentBeforeRecall");
    QTest::addColumn<bool>("controlsBack");
    // Two pings are unanswered when the recall starts; the focus move is
    // never confirmed.
    QTest::newRow("silent since before the recall") << "ORVO RE-2=1.8.3" << true << true;
    // The zoom move is confirmed, which resumes the pings; then nothing more
    // comes, and the controller is declared lost during the focus wait.
    QTest::newRow("falls silent during the recall") << "ORVO KX-MQTR=1.9.0" << false << false;
}

// A recall that ends without its confirmations is no proof of life: the
// unanswered pings stay counted, and the lens controls come back only for a
// controller that still counts as alive.
void SetPointsTest::givenUpRecallKeepsTheMissedPings()
{
    QFETCH(QString, identification);
    QFETCH(bool, silentBeforeRecall);
    QFETCH(bool, controlsBack);
    ConnectedWindow panel;
    ScriptedController& controller = panel.controller();
    LensDesk& w = panel.window();
    QVERIFY(panel.identify(identification));
    QVERIFY(panel.report({"zRange=24,70"}));
    TRY_VERIFY(controller.count(QStringLiteral("ping")) >= 1);
    SettingsStore::writeThrough(&panel.profiles(), QStringLiteral("3"), QStringLiteral("35,500,4"));
    const pingWorker* monitor = LensDeskTestAccess::livenessMonitor(w);

    if (silentBeforeRecall) {
        controller.forget(QStringLiteral("ping"));
        TRY_VERIFY(monitor->missedPings() >= 2);
    } else {
        controller.answer(QStringLiteral("setZoom=35"), {"zoomDone", "focusDone", "irisDone"});
        connect(&controller, &ScriptedController::commandReceived, this, [&controller](const QString& text) {
            if (text.startsWith(QLatin1String("setZoom=")))
                controller.forget(QStringLiteral("ping"));
        });
    }
    w.loadSetPointNow3();
    const int missed = monitor->missedPings();
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("The controller did not confirm the move."));
    QVERIFY2(missed >= 2, qPrintable(QString::number(missed)));
    QVERIFY(!monitor->isPaused());
    QCOMPARE(named<QPushButton>(w, "fastOpenIris")->isEnabled(), controlsBack);
    QCOMPARE(named<QSlider>(w, "irisSlider")->isEnabled(), controlsBack);
}

void SetPointsTest::namesWithSeparatorsRoundTrip()
{
    LensDesk& w = *m_window;
    w.zoomUpdateVal(35);
    w.focusUpdateVal(500);
    w.irisUpdateVal(4.0f);
    saveAs(QStringLiteral("studio/left"));
    w.zoomUpdateVal(50);
    saveAs(QStringLiteral("a\\b"));
    QVERIFY(m_panel->profiles().childGroups().isEmpty());

    w.loadSettings();
    QVERIFY(w.findChild<loadSettDlg*>()->isVisible());
    QStringList listed;
    for (int i = 0; i < w.findChild<loadSettDlg*>()->comboBox->count(); ++i)
        listed << w.findChild<loadSettDlg*>()->comboBox->itemText(i);
    listed.sort();
    QCOMPARE(listed, (QStringList{"a\\b", "studio/left"}));

    w.findChild<loadSettDlg*>()->comboBox->setCurrentText(QStringLiteral("studio/left"));
    QCOMPARE(w.findChild<loadSettDlg*>()->label->text(), QStringLiteral("35mm 500 f/4"));
    w.findChild<loadSettDlg*>()->comboBox->setCurrentText(QStringLiteral("a\\b"));
    QCOMPARE(w.findChild<loadSettDlg*>()->label->text(), QStringLiteral("50mm 500 f/4"));

    confirmMovesAfter(0);
    QTest::mouseClick(w.findChild<loadSettDlg*>()->loadButton, Qt::LeftButton);
    QCOMPARE(m_peer->receivedUntilNow(), (QStringList{"setZoom=50", "setFocus2=500", "setAper=4"}));
    QVERIFY(!w.findChild<loadSettDlg*>()->isVisible());
}

void SetPointsTest::dialogDescribesTheSelection()
{
    LensDesk& w = *m_window;
    store(QStringLiteral("b"), QStringLiteral("50,812,5.6"));
    store(QStringLiteral("a"), QStringLiteral("24,0,22"));
    w.loadSettings();
    loadSettDlg& dialog = *w.findChild<loadSettDlg*>();
    QCOMPARE(dialog.objectName(), QStringLiteral("loadSettingsDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Load Settings"));
    // The refresh does not describe; choosing does.
    QVERIFY(dialog.label->text().isEmpty());
    dialog.comboBox->setCurrentText(QStringLiteral("b"));
    QCOMPARE(dialog.label->text(), QStringLiteral("50mm 812 f/5.6"));
    dialog.comboBox->setCurrentText(QStringLiteral("a"));
    QCOMPARE(dialog.label->text(), QStringLiteral("24mm 0 f/22"));
    QVERIFY(dialog.loadButton->isEnabled());
    QVERIFY(dialog.pushButton->isEnabled());
}

void SetPointsTest::deleteAsksFirstAndDisablesAtLast()
{
    LensDesk& w = *m_window;
    store(QStringLiteral("1"), QStringLiteral("35,500,4"));
    store(QStringLiteral("2"), QStringLiteral("50,500,4"));
    w.loadSettings();
    loadSettDlg& dialog = *w.findChild<loadSettDlg*>();

    ModalAnswerer& modals = m_panel->modals();
    ModalAnswerer::Box question;
    modals.expectBox(QMessageBox::No, &question);
    dialog.comboBox->setCurrentText(QStringLiteral("1"));
    QTest::mouseClick(dialog.pushButton, Qt::LeftButton);
    QCOMPARE(question.text, QStringLiteral("Are you sure you want to delete settings <b>1</b>?"));
    QCOMPARE(question.defaultButton, QMessageBox::No);
    QCOMPARE(dialog.comboBox->count(), 2);

    modals.expectBox(QMessageBox::Yes);
    QTest::mouseClick(dialog.pushButton, Qt::LeftButton);
    QCOMPARE(dialog.comboBox->count(), 1);
    QVERIFY(!m_panel->profiles().contains(QStringLiteral("1")));
    QVERIFY(!storedFileText(&m_panel->profiles()).contains(QStringLiteral("35,500,4")));
    QVERIFY(dialog.loadButton->isEnabled());

    modals.expectBox(QMessageBox::Yes);
    QTest::mouseClick(dialog.pushButton, Qt::LeftButton);
    QCOMPARE(dialog.comboBox->count(), 0);
    QVERIFY(!dialog.loadButton->isEnabled());
    QVERIFY(!dialog.pushButton->isEnabled());
    QVERIFY(dialog.label->text().isEmpty());
}

void SetPointsTest::closingTheDialogResumesLiveness()
{
    LensDesk& w = *m_window;
    w.loadSettings();
    QVERIFY(LensDeskTestAccess::livenessMonitor(w)->isPaused());
    QVERIFY(!w.findChild<loadSettDlg*>()->loadButton->isEnabled());
    w.findChild<loadSettDlg*>()->close();
    QVERIFY(!w.findChild<loadSettDlg*>()->isVisible());
    QVERIFY(!LensDeskTestAccess::livenessMonitor(w)->isPaused());
}

LENSDESK_TEST_MAIN(SetPointsTest)
#include "tst_setpoints.moc"
