#include "TestMain.h"
#include "VirtualDisplay.h"

#include "app/LensDesk.h"

#include <QtTest>
#include <QAction>
#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

// Runs the program, or this test re-invoked as a child, and checks how the
// process ends.
class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void closingTheWindowEndsWithStatusOne_data();
    void closingTheWindowEndsWithStatusOne();
    void malformedScaleFactorIsLeftAlone();
    void noGlStackOnAnXDisplay_data();
    void noGlStackOnAnXDisplay();
};

namespace {

// The program itself has no test mode: it gets a home of its own, so that
// a run of this test by hand never reaches the user's settings.
QProcessEnvironment offscreenEnvironment()
{
    static const QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    return env;
}

QByteArray readProcFile(qint64 pid, const char* file)
{
    QFile in(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// Whether the process holds a UDP socket bound to a port of the panel's
// command range: the main window exists, start-up is over.
bool hasCommandSocket(qint64 pid)
{
    QSet<QByteArray> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = fd.symLinkTarget().section(QLatin1Char('/'), -1);
        if (target.startsWith(QLatin1String("socket:[")))
            inodes.insert(target.mid(8).chopped(1).toLatin1());
    }
    // Bound to every address, the socket is an IPv6 one that takes IPv4 too.
    const QByteArray table = readProcFile(pid, "net/udp") + readProcFile(pid, "net/udp6");
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || !inodes.contains(fields.at(9)))
            continue;
        const int port = fields.at(1).split(':').constLast().toInt(nullptr, 16);
        if (port >= 60000 && port <= 65000)
            return true;
    }
    return false;
}

// The child: the main window closed in the way the second argument names.
int runChild(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString how = QString::fromLatin1(argc > 2 ? argv[2] : "");
    LensDesk window;
    window.show();
    QTimer::singleShot(50, &window, [&window, how] {
        if (how == QLatin1String("exit-action"))
            named<QAction>(window, "actionExit")->trigger();
        else
            window.close();
    });
    QCoreApplication::exec();
    return 0; // not reached: closing ends the process
}

} // namespace

void StartupTest::closingTheWindowEndsWithStatusOne_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("window close") << QStringLiteral("close");
    QTest::newRow("Exit action") << QStringLiteral("exit-action");
}

void StartupTest::closingTheWindowEndsWithStatusOne()
{
    QFETCH(QString, how);
    QProcess child;
    child.setProcessEnvironment(offscreenEnvironment());
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), how});
    QVERIFY(child.waitForFinished(TestWaits::scaled(20000)));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
}

void StartupTest::malformedScaleFactorIsLeftAlone()
{
    QProcess panel;
    QProcessEnvironment env = offscreenEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("not-a-number"));
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(LENSDESK_BIN_DIR "/lensdesk"), QStringList());
    QVERIFY(panel.waitForStarted(TestWaits::processStart()));
    // Past the splash pause (0.6 s) and into the event loop, still running.
    QVERIFY(!panel.waitForFinished(TestWaits::scaled(2500)));
    panel.kill();
    panel.waitForFinished(TestWaits::processStart());
}

void StartupTest::noGlStackOnAnXDisplay_data()
{
    QTest::addColumn<QString>("integration"); // empty: not set by the user
    QTest::addColumn<bool>("glExpected");
    QTest::newRow("no integration chosen: none") << QString() << false;
    // Qt 6 loads an integration only for the first GL context, so there the
    // user's choice shows no library either.
    QTest::newRow("the user's choice stands") << QStringLiteral("xcb_glx") << (QT_VERSION < QT_VERSION_CHECK(6, 0, 0));
}

// No widget draws with GL, yet Qt's X11 plugin loads the whole GL stack
// (Mesa, LLVM: about 50 MiB resident) unless told not to.
void StartupTest::noGlStackOnAnXDisplay()
{
    QFETCH(QString, integration);
    QFETCH(bool, glExpected);
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed (scripts/test installs it)");
    VirtualDisplay display;
    QVERIFY(!display.name().isEmpty());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("QT_XCB_GL_INTEGRATION"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display.name()));
    if (!integration.isEmpty())
        env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), integration);
    // libxkbcommon-x11 copies key names with strndup out of buffers that hold
    // no terminating NUL; AddressSanitizer's strict string checks take that
    // library's read for an overflow.
    const QString asanOptions = env.value(QStringLiteral("ASAN_OPTIONS"));
    if (!asanOptions.isEmpty())
        env.insert(QStringLiteral("ASAN_OPTIONS"), asanOptions + QStringLiteral(":strict_string_checks=0"));
    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(LENSDESK_BIN_DIR "/lensdesk"), QStringList());
    QVERIFY(panel.waitForStarted(TestWaits::processStart()));
    const auto stop = qScopeGuard([&panel] {
        panel.kill();
        panel.waitForFinished(TestWaits::processStart());
    });
    QTRY_VERIFY_WITH_TIMEOUT(hasCommandSocket(panel.processId()), TestWaits::scaled(20000));

    const QByteArray maps = readProcFile(panel.processId(), "maps");
    QVERIFY(maps.contains("XcbQpa")); // really on the X display
    // libGL itself is linked by the toolkit; what costs is the integration
    // plugin with the driver and its compiler behind it.
    const bool glLoaded = maps.contains("xcbglintegrations") || maps.contains("_dri.so") || maps.contains("libLLVM");
    QCOMPARE(glLoaded, glExpected);
}

LENSDESK_TEST_MAIN_WITH_CHILD(StartupTest, "--child", runChild)

#include "tst_startup.moc"
