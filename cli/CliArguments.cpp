#include "cli/CliArguments.h"

#include <QCoreApplication>

#include <cmath>

namespace {

// Options that take a value; everything else beginning with "--" is a flag.
const QSet<QString>& valueOptions()
{
    static const QSet<QString> options{QStringLiteral("--timeout"), QStringLiteral("--zoom"),
                                       QStringLiteral("--focus"),   QStringLiteral("--aperture"),
                                       QStringLiteral("--address"), QStringLiteral("--mask"),
                                       QStringLiteral("--gateway"), QStringLiteral("--tftp-port")};
    return options;
}

const QSet<QString>& flagOptions()
{
    static const QSet<QString> options{QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("--help")};
    return options;
}

QString tr(const char* text) { return QCoreApplication::translate("lensdesk-cli", text); }

} // namespace

bool CliArguments::parse(const QStringList& arguments, CliArguments* out, QString* error)
{
    CliArguments parsed;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == QLatin1String("-h") || argument == QLatin1String("--help"))) {
            parsed.help = true;
        } else if (!optionsEnded && argument.startsWith(QLatin1String("--"))) {
            QString name = argument;
            QString value;
            const int equals = argument.indexOf(QLatin1Char('='));
            if (equals > 0) {
                name = argument.left(equals);
                value = argument.mid(equals + 1);
            }
            if (valueOptions().contains(name)) {
                if (equals < 0) {
                    if (i + 1 >= arguments.size()) {
                        *error = tr("The option %1 needs a value.").arg(name);
                        return false;
                    }
                    value = arguments.at(++i);
                }
                parsed.values.insert(name, value);
            } else if (flagOptions().contains(name) && equals < 0) {
                parsed.flags.insert(name);
            } else {
                *error = tr("Unknown option %1; see lensdesk-cli --help.").arg(argument);
                return false;
            }
        } else if (parsed.command.isEmpty()) {
            parsed.command = argument;
        } else {
            parsed.positional << argument;
        }
    }
    parsed.json = parsed.flags.contains(QStringLiteral("--json"));
    if (parsed.values.contains(QStringLiteral("--timeout"))) {
        bool ok = false;
        const double seconds = parsed.values.take(QStringLiteral("--timeout")).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400) {
            *error = tr("--timeout takes a number of seconds above 0, for example --timeout 2.5.");
            return false;
        }
        parsed.timeoutMs = int(std::ceil(seconds * 1000));
    }
    *out = parsed;
    return true;
}
