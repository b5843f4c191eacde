#include "cli/Cli.h"
#include "cli/CliArguments.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

// The command runs from the application's event loop, which ends with the
// command's exit status; the command's own waits turn the same loop.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lensdesk-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LENSDESK_VERSION));

    CliArguments arguments;
    QString error;
    if (!CliArguments::parse(QCoreApplication::arguments().mid(1), &arguments, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return Cli::BadUsage;
    }
    Cli cli(arguments);
    QTimer::singleShot(0, &cli, [&cli] { QCoreApplication::exit(cli.run()); });
    return app.exec();
}
