// lensdesk-sim: a simulated lens controller for developing and testing the
// panel without hardware. See --help and the README.

#include "base/SignalWatcher.h"
#include "sim/SimController.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lensdesk-sim"));
    const SimOptions options = SimOptions::fromArguments(QCoreApplication::arguments());

    SimLog log(options.logFile, options.verbose);
    if (!log.isOpen())
        return 2;
    // SIGUSR1 toggles silence.
    SignalWatcher signalWatcher({SIGINT, SIGTERM}, {SIGUSR1});
    SimController controller(options, log);
    QObject::connect(&signalWatcher, &SignalWatcher::received, &controller, &SimController::toggleSilence);
    QObject::connect(&signalWatcher, &SignalWatcher::stopRequested, &app, [&log](int number) {
        log.event(QStringLiteral("exit on signal %1").arg(number));
        QCoreApplication::quit();
    });
    if (!controller.start())
        return 1;
    return app.exec();
}
