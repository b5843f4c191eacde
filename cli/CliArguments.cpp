#include "cli/CliArguments.h"

#include "cli/CommandTable.h"

#include <QCoreApplication>

#include <cmath>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("Cli", text); }

// A number of seconds above 0 and at most a day, in milliseconds.
bool readSeconds(const QString& text, int* milliseconds)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
        return false;
    *milliseconds = int(std::ceil(seconds * 1000));
    return true;
}

bool isNumber(const QString& argument) { return argument.size() > 1 && argument.at(1).isDigit(); }

} // namespace

QStringList CliArguments::given() const
{
    QStringList names = values.keys() + flags.values();
    names.sort();
    return names;
}

bool CliArguments::parse(const QStringList& arguments, CliArguments* out, QString* error)
{
    CliArguments parsed;
    bool optionsEnded = false;
    // Takes the option `name` (long or short), with `attached` as its value
    // when the argument carried one; reads the next argument otherwise.
    const auto take = [&](const QString& name, const QString& shown, std::optional<QString> attached, int* index) {
        const CommandTable::Option* option = CommandTable::option(name);
        if (!option) {
            *error = tr("Unknown option %1; see lensdesk-cli --help.").arg(shown);
            return false;
        }
        const QString longName = QLatin1String(option->name);
        if (!option->valueName) {
            if (attached) {
                *error = tr("The option %1 takes no value.").arg(longName);
                return false;
            }
            parsed.flags.insert(longName);
            return true;
        }
        if (!attached) {
            if (*index + 1 >= arguments.size()) {
                *error = tr("The option %1 needs a value.").arg(longName);
                return false;
            }
            attached = arguments.at(++*index);
        }
        parsed.values.insert(longName, *attached);
        return true;
    };

    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnded || argument.size() < 2 || !argument.startsWith(QLatin1Char('-')) || isNumber(argument)) {
            parsed.words << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument.startsWith(QLatin1String("--"))) {
            const int equals = argument.indexOf(QLatin1Char('='));
            const QString name = equals > 0 ? argument.left(equals) : argument;
            if (!take(name, argument, equals > 0 ? std::optional<QString>(argument.mid(equals + 1)) : std::nullopt, &i))
                return false;
        } else {
            // "-t2", "-t 2", or grouped flags "-jy".
            for (int at = 1; at < argument.size(); ++at) {
                const QString name = QStringLiteral("-") + argument.at(at);
                const CommandTable::Option* option = CommandTable::option(name);
                const bool last = at + 1 == argument.size();
                if (option && option->valueName && !last) {
                    if (!take(name, argument, argument.mid(at + 1), &i))
                        return false;
                    break;
                }
                if (!take(name, argument, std::nullopt, &i))
                    return false;
            }
        }
    }

    parsed.json = parsed.flags.contains(QStringLiteral("--json"));
    parsed.verbose = parsed.flags.contains(QStringLiteral("--verbose"));
    for (const auto& bound :
         {std::make_pair("--timeout", &parsed.timeoutMs), std::make_pair("--max-time", &parsed.maxTimeMs)}) {
        const QString name = QLatin1String(bound.first);
        if (!parsed.values.contains(name))
            continue;
        int milliseconds = 0;
        if (!readSeconds(parsed.values.value(name), &milliseconds)) {
            *error = tr("%1 takes a number of seconds above 0, for example %1 2.5.").arg(name);
            return false;
        }
        *bound.second = milliseconds;
    }
    *out = parsed;
    return true;
}
