#include "app/LensDesk.h"

#include <QtTest>
#include <QAction>
#include <QProcess>
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

int runChild(const QString& how)
{
    LensDesk window;
    window.show();
    QTimer::singleShot(50, &window, [&window, how] {
        if (how == QLatin1String("exit-action"))
            window.actionExit->trigger();
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
    QVERIFY(child.waitForFinished(20000));
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
    QVERIFY(panel.waitForStarted(5000));
    // Past the splash pause and into the event loop, still running.
    QVERIFY(!panel.waitForFinished(2500));
    panel.kill();
    panel.waitForFinished(5000);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(QString::fromLatin1(argv[2]));
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
