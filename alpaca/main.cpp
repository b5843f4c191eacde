// lensdesk-alpaca: every lens controller as an ASCOM Alpaca focuser over
// HTTP. See --help, the manual page and the README.

#include "alpaca/AlpacaOptions.h"
#include "alpaca/AlpacaServer.h"
#include "alpaca/ControllerFocuser.h"
#include "alpaca/DeviceNumbers.h"
#include "base/SignalWatcher.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

// Everything the server tells goes to standard error, one line each: the
// service manager's journal keeps it.
void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

// The controller thread is the main thread: every link, session and device
// lives in its event loop; the HTTP workers hand their requests to it.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lensdesk-alpaca"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LENSDESK_VERSION));

    AlpacaOptions options;
    QString error;
    switch (AlpacaOptions::parse(QCoreApplication::arguments(), &options, &error)) {
    case AlpacaOptions::Outcome::Shown:
        return 0;
    case AlpacaOptions::Outcome::Bad:
        say(error);
        return 2;
    case AlpacaOptions::Outcome::Run:
        break;
    }

    // A stop ends the event loop; the server then closes its HTTP side and
    // its links. A focus move under way is left to finish.
    SignalWatcher stop({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&stop, &SignalWatcher::stopRequested, &app, [](int number) {
        say(QCoreApplication::translate("main", "Stopping (signal %1).").arg(number));
        QCoreApplication::quit();
    });

    DeviceNumbers numbers(DeviceNumbers::defaultPath());
    QString warning;
    if (!numbers.load(&warning))
        say(warning);
    AlpacaServer server(options, numbers,
                        [](const QString& address) { return std::make_unique<ControllerFocuser>(address); });
    QObject::connect(&server, &AlpacaServer::warning, &app, say);
    QObject::connect(&server.devices(), &FocuserDevices::notice, &app, say);
    if (!server.start(&error)) {
        say(error);
        return 1;
    }
    say(QCoreApplication::translate("main", "Alpaca API on http://%1:%2/ (setup page /setup), device numbers in %3.")
            .arg(options.listen)
            .arg(server.httpPort())
            .arg(numbers.path()));
    say(server.discoveryPort() != 0 ? QCoreApplication::translate("main", "Answering Alpaca discovery on UDP port %1.")
                                          .arg(server.discoveryPort())
                                    : QCoreApplication::translate("main", "Not answering Alpaca discovery."));
    return app.exec();
}
