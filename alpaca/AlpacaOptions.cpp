#include "alpaca/AlpacaOptions.h"

#include "link/DottedQuad.h"

#include <QCommandLineParser>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>

#include <cstdio>

namespace {

const QString Controller = QStringLiteral("controller");
const QString Search = QStringLiteral("search");
const QString Port = QStringLiteral("port");
const QString Listen = QStringLiteral("listen");
const QString DiscoveryPort = QStringLiteral("discovery-port");
const QString Location = QStringLiteral("location");
const QString Config = QStringLiteral("config");

// One option's value, whether from the command line or the file.
bool apply(const QString& name, const QString& value, AlpacaOptions* options, QString* error)
{
    const auto portOf = [&](quint16* port, bool zeroAllowed) {
        bool ok = false;
        const uint number = value.toUInt(&ok);
        if (!ok || number > 65535 || (number == 0 && !zeroAllowed)) {
            *error = AlpacaOptions::tr("--%1 wants a port number, not \"%2\".").arg(name, value);
            return false;
        }
        *port = quint16(number);
        return true;
    };
    if (name == Controller) {
        if (!DottedQuad::isValid(value.trimmed())) {
            *error =
                AlpacaOptions::tr("--controller wants an IPv4 address such as 192.168.0.10, not \"%1\".").arg(value);
            return false;
        }
        const QString address = DottedQuad::canonical(value.trimmed());
        if (!options->controllers.contains(address))
            options->controllers << address;
        return true;
    }
    if (name == Search) {
        const QString word = value.toLower();
        options->search = word.isEmpty() || word == QLatin1String("yes") || word == QLatin1String("true")
            || word == QLatin1String("on") || word == QLatin1String("1");
        if (!options->search && word != QLatin1String("no") && word != QLatin1String("false")
            && word != QLatin1String("off") && word != QLatin1String("0")) {
            *error = AlpacaOptions::tr("search wants yes or no, not \"%1\".").arg(value);
            return false;
        }
        return true;
    }
    if (name == Port)
        return portOf(&options->port, true);
    if (name == DiscoveryPort)
        return portOf(&options->discoveryPort, true);
    if (name == Listen) {
        if (QHostAddress(value).isNull()) {
            *error = AlpacaOptions::tr("--listen wants an address of this host, not \"%1\".").arg(value);
            return false;
        }
        options->listen = value;
        return true;
    }
    if (name == Location) {
        options->location = value;
        return true;
    }
    *error = AlpacaOptions::tr("Unknown option \"%1\".").arg(name);
    return false;
}

bool readFile(const QString& path, AlpacaOptions* options, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = AlpacaOptions::tr("Cannot read the configuration %1: %2").arg(path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const QString name = (equals < 0 ? line : line.left(equals)).trimmed();
        const QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed();
        if (name == Config || (equals < 0 && name != Search)) {
            *error = AlpacaOptions::tr("%1 line %2: \"%3\" is no setting.").arg(path).arg(lineNumber).arg(line);
            return false;
        }
        if (!apply(name, value, options, error)) {
            *error = AlpacaOptions::tr("%1 line %2: %3").arg(path).arg(lineNumber).arg(*error);
            return false;
        }
    }
    return true;
}

} // namespace

AlpacaOptions::Outcome AlpacaOptions::parse(const QStringList& arguments, AlpacaOptions* options, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Serves every known lens controller as an ASCOM Alpaca focuser device over HTTP."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")}, tr("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), tr("Shows the version."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOptions({
        {Controller, tr("Serves the controller at ADDRESS (repeatable)."), QStringLiteral("ADDRESS")},
        {Search, tr("Serves every controller the LAN search finds, at start-up and on request from the setup page.")},
        {Port, tr("HTTP port of the Alpaca API (default %1).").arg(DefaultPort), QStringLiteral("PORT")},
        {Listen, tr("Listens on ADDRESS only (default: every IPv4 address)."), QStringLiteral("ADDRESS")},
        {DiscoveryPort, tr("UDP port of Alpaca discovery (default 32227; 0: none)."), QStringLiteral("PORT")},
        {Location, tr("Where the server is, as the management API tells (default: the host name)."),
         QStringLiteral("TEXT")},
        {Config, tr("Reads options from FILE, one per line: name = value."), QStringLiteral("FILE")},
    });
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return Outcome::Bad;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return Outcome::Shown;
    }
    if (parser.isSet(version)) {
        std::printf("lensdesk-alpaca %s\n", LENSDESK_VERSION);
        return Outcome::Shown;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = tr("Unexpected argument \"%1\".").arg(parser.positionalArguments().first());
        return Outcome::Bad;
    }
    if (parser.isSet(Config) && !readFile(parser.value(Config), options, error))
        return Outcome::Bad;
    for (const QString& name : {Controller, Port, Listen, DiscoveryPort, Location}) {
        for (const QString& value : parser.values(name)) {
            if (!apply(name, value, options, error))
                return Outcome::Bad;
        }
    }
    if (parser.isSet(Search))
        options->search = true;
    if (options->location.isEmpty())
        options->location = QHostInfo::localHostName();
    return Outcome::Run;
}
