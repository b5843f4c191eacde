#include "base/SignalWatcher.h"
#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/Output.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A standard stream the program was started without (as by "lensdesk-cli
// info A >&-") is held by /dev/null opened for reading only, before
// anything else can take its number: writing the results then fails, and
// is reported, instead of landing in a socket that happened to get
// descriptor 1.
void holdClosedStandardStreams()
{
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) >= 0)
            continue;
        const int held = ::open("/dev/null", O_RDONLY);
        if (held >= 0 && held != stream) {
            ::dup2(held, stream);
            ::close(held);
        }
    }
}

} // namespace

// The command runs from the application's event loop, which ends with the
// command's exit status; the command's own waits turn the same loop.
int main(int argc, char** argv)
{
    holdClosedStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lensdesk-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LENSDESK_VERSION));

    CliArguments arguments;
    QString error;
    const bool parsed = CliArguments::parse(QCoreApplication::arguments().mid(1), &arguments, &error);
    Output output(arguments.json, arguments.verbose);
    if (!parsed)
        return output.failure(Output::Reason::BadInput, Cli::BadUsage, error);
    SignalWatcher stop({SIGINT, SIGTERM, SIGHUP});
    Cli cli(arguments, output, stop);
    QTimer::singleShot(0, &cli, [&cli] { QCoreApplication::exit(cli.run()); });
    return app.exec();
}
