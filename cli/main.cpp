#include "cli/Cli.h"
#include "cli/CliArguments.h"

#include <QCoreApplication>

#include <cstdio>

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
    return cli.run();
}
