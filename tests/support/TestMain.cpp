#include "TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace TestMain {

void prepareProcess()
{
    // A test program must never read or write the settings of the person
    // who runs it, whether CTest starts it or a developer does. The test
    // mode moves the settings store (and every other standard location)
    // under ~/.qttest/; the store's path is worked out once, when the first
    // settings object opens it, so this comes first.
    QStandardPaths::setTestModeEnabled(true);
    // Widget tests never take over a developer's screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

QStringList runArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString report = qEnvironmentVariable("LENSDESK_TEST_REPORT");
    if (!report.isEmpty()) {
        QDir().mkpath(QFileInfo(report).absolutePath());
        arguments << QStringLiteral("-o") << report + QStringLiteral(",txt") << QStringLiteral("-o")
                  << QStringLiteral("-,txt");
    }
    return arguments;
}

} // namespace TestMain
