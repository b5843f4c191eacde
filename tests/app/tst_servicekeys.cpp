#include "SimProcess.h"
#include "TestMain.h"
#include "VirtualDisplay.h"

#include "app/LensDesk.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

// A new X client is now and then refused on a busy server: xdotool gets a
// few tries.
constexpr int XdotoolTries = 3;

// Gives `window` the keyboard focus of the X server and types `keys` into it
// (xdotool's words: "ctrl+shift+F10", "type" and a text, ...). The event
// loop keeps turning meanwhile.
bool typeInto(const QWidget* window, const QStringList& keys)
{
    const QStringList arguments =
        QStringList{QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window->winId())} + keys;
    QString failure;
    for (int attempt = 0; attempt < XdotoolTries; ++attempt) {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), arguments);
        if (xdotool.waitForStarted(TestWaits::processStart())
            && QTest::qWaitFor([&xdotool] { return xdotool.state() == QProcess::NotRunning; },
                               TestWaits::processStart())
            && xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0)
            return true;
        xdotool.kill();
        xdotool.waitForFinished(TestWaits::processStart());
        failure = xdotool.errorString() + QLatin1Char(' ') + QString::fromLocal8Bit(xdotool.readAllStandardError());
    }
    qWarning("xdotool %s failed: %s", qPrintable(arguments.join(QLatin1Char(' '))), qPrintable(failure));
    return false;
}

QWidget* visibleModal()
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->isVisible() ? modal : nullptr;
}

// The private X server: started before the application object, which
// connects to it, and stopped when the process ends.
std::unique_ptr<VirtualDisplay> xServer;

} // namespace

// The service dialog's keys through a real X server, as a Linux desktop
// delivers them. There Ctrl+Alt+F-keys switch to a text console and never
// reach a window, so Ctrl+Shift+F10 does the same job, in the window and in
// the dialog.
class ServiceKeysTest : public QObject
{
    Q_OBJECT

public:
    static void initMain();

private slots:
    void initTestCase();
    void ctrlShiftF10OpensAndUnlocksTheServiceDialog();
};

void ServiceKeysTest::initMain()
{
    xServer = std::make_unique<VirtualDisplay>();
    if (xServer->name().isEmpty())
        return; // the platform stays offscreen; initTestCase says why
    qputenv("DISPLAY", xServer->name());
    qputenv("QT_QPA_PLATFORM", "xcb");
    // No GL stack: nothing here draws with it.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
}

void ServiceKeysTest::initTestCase()
{
    QVERIFY2(!xServer->name().isEmpty(), "No X server: this test needs Xvfb and xdotool (scripts/test installs them).");
}

void ServiceKeysTest::ctrlShiftF10OpensAndUnlocksTheServiceDialog()
{
    SimProcess sim({QStringLiteral("--serial"), QStringLiteral("15077")});
    QVERIFY(sim.start());
    LensDesk window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The connect dialog asks for the controller: typed in, as the operator does.
    QWidget* connectDialog = nullptr;
    QVERIFY(
        QTest::qWaitFor([&connectDialog] { return (connectDialog = visibleModal()) != nullptr; }, TestWaits::reply()));
    QVERIFY(typeInto(connectDialog, {"key", "ctrl+a", "BackSpace", "type", sim.address().toString()}));
    QVERIFY(typeInto(connectDialog, {"key", "Return"}));
    auto* deviceInfo = named<QLabel>(window, "deviceInfoLabel");
    QVERIFY(deviceInfo);
    TRY_VERIFY(deviceInfo->text().startsWith(QLatin1String("Device:")));

    QVERIFY(typeInto(&window, {"key", "ctrl+shift+F10"}));
    auto* serviceDialog = named<QDialog>(window, "master");
    QVERIFY(serviceDialog);
    TRY_VERIFY(serviceDialog->isVisible());
    auto* serial = named<QLineEdit>(*serviceDialog, "snEdit");
    auto* vendor = named<QLineEdit>(*serviceDialog, "vndEdit");
    QVERIFY(serial && vendor);
    QCOMPARE(serial->text(), QStringLiteral("15077"));
    QVERIFY(!vendor->isEnabled());

    // The same keys in the dialog unlock the vendor field.
    QVERIFY(typeInto(serviceDialog, {"key", "ctrl+shift+F10"}));
    TRY_VERIFY(vendor->isEnabled());
}

LENSDESK_TEST_MAIN(ServiceKeysTest)

#include "tst_servicekeys.moc"
