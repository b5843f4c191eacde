#include "cli/CommandTable.h"

#include "cli/Cli.h"

#include <QCoreApplication>

namespace CommandTable {

namespace {

const char* const Context = "Cli";

QString tr(const char* text) { return QCoreApplication::translate(Context, text); }

// What every command that talks to a controller takes.
const QStringList Talks{"--json", "--timeout", "--max-time", "--verbose"};

const Argument AddressArgument{"ADDRESS", Argument::Address, {}};

} // namespace

const QVector<Option>& options()
{
    static const QVector<Option> table{
        {"--json", "-j", nullptr, QT_TRANSLATE_NOOP("Cli", "every result as JSON on standard output")},
        {"--timeout", "-t", "SECONDS",
         QT_TRANSLATE_NOOP("Cli", "bound of each wait (default: the panel's own limits)")},
        {"--max-time", nullptr, "SECONDS", QT_TRANSLATE_NOOP("Cli", "bound of the whole command")},
        {"--verbose", "-v", nullptr,
         QT_TRANSLATE_NOOP("Cli", "every datagram sent (>) and received (<) on standard error")},
        {"--yes", "-y", nullptr, QT_TRANSLATE_NOOP("Cli", "no question before a firmware update")},
        {"--zoom", nullptr, "MM", QT_TRANSLATE_NOOP("Cli", "focal length to move to")},
        {"--focus", nullptr, "COUNT", QT_TRANSLATE_NOOP("Cli", "focus position to move to")},
        {"--aperture", nullptr, "FNUMBER", QT_TRANSLATE_NOOP("Cli", "f-number to move to")},
        {"--address", nullptr, "A", QT_TRANSLATE_NOOP("Cli", "the controller's new address")},
        {"--mask", nullptr, "M", QT_TRANSLATE_NOOP("Cli", "the new network mask")},
        {"--gateway", nullptr, "G", QT_TRANSLATE_NOOP("Cli", "the new gateway")},
        {"--tftp-port", nullptr, "PORT", QT_TRANSLATE_NOOP("Cli", "TFTP server port (default 69)")},
        {Help, "-h", nullptr, QT_TRANSLATE_NOOP("Cli", "this text; COMMAND --help for one command")},
        {Version, nullptr, nullptr, QT_TRANSLATE_NOOP("Cli", "the program's version")},
    };
    return table;
}

const Option* option(const QString& name)
{
    for (const Option& entry : options()) {
        if (name == QLatin1String(entry.name) || (entry.shortName && name == QLatin1String(entry.shortName)))
            return &entry;
    }
    return nullptr;
}

const QVector<Command>& commands()
{
    const Argument presetName{"NAME", Argument::PresetName, {}};
    static const QVector<Command> table{
        {QStringLiteral("search"),
         {},
         {"--json", "--timeout", "--max-time", "--verbose"},
         QT_TRANSLATE_NOOP("Cli",
                           "Lists the controllers on every local IPv4 network (address, product, "
                           "firmware).\nExit status 3 when none answers."),
         &Cli::search},
        {QStringLiteral("info"),
         {AddressArgument},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "Identification, boot loader, lens protocol, name, S/N, MAC, hardware, "
                           "vendor,\nIP settings, lens ranges and current positions; what the "
                           "controller does not tell\nis unknown (null in JSON)."),
         &Cli::info},
        {QStringLiteral("move"),
         {AddressArgument},
         Talks + QStringList{"--zoom", "--focus", "--aperture"},
         QT_TRANSLATE_NOOP("Cli",
                           "Absolute move of zoom, focus and aperture, in that order; waits until\n"
                           "the controller reports each move done. Zoom needs a power-zoom model."),
         &Cli::move,
         true},
        {QStringLiteral("nudge"),
         {AddressArgument, {"AXIS", Argument::Choice, {"zoom", "focus", "aperture"}}, {"STEPS", Argument::Value, {}}},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "One relative move by STEPS (negative: the other way); prints the "
                           "position\nonce the reports have settled."),
         &Cli::nudge,
         true},
        {QStringLiteral("stabilizer"),
         {AddressArgument, {"SECONDS", Argument::Value, {}}},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "Switches image stabilisation on for SECONDS (1 to 60), or off with 0;\n"
                           "the controller must confirm it."),
         &Cli::stabilizer},
        {QStringLiteral("preset list"),
         {},
         {"--json"},
         QT_TRANSLATE_NOOP("Cli", "Lists the stored lens positions (the panel's presets)."),
         &Cli::presetList},
        {QStringLiteral("preset save"),
         {presetName, AddressArgument},
         Talks,
         QT_TRANSLATE_NOOP("Cli", "Stores the controller's current zoom, focus and aperture under NAME."),
         &Cli::presetSave},
        {QStringLiteral("preset recall"),
         {presetName, AddressArgument},
         Talks,
         QT_TRANSLATE_NOOP("Cli", "Drives the lens to the stored position, as the panel does."),
         &Cli::presetRecall,
         true},
        {QStringLiteral("preset delete"),
         {presetName},
         {"--json"},
         QT_TRANSLATE_NOOP("Cli", "Deletes a stored position."),
         &Cli::presetDelete},
        {QStringLiteral("name"),
         {AddressArgument, {"TEXT", Argument::Value, {}}},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "Sets the controller's name (at most 7 printable ASCII characters; an "
                           "empty\nTEXT clears it)."),
         &Cli::name},
        {QStringLiteral("focus-timeout"),
         {AddressArgument, {"MS", Argument::Value, {}}},
         Talks,
         QT_TRANSLATE_NOOP("Cli", "Sets the focus time-out, 1 to 10000 ms."),
         &Cli::focusTimeout},
        {QStringLiteral("protocol"),
         {AddressArgument, {"PROTOCOL", Argument::Choice, {"0", "1", "2"}}},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "Selects the lens-bus protocol; the controller restarts to apply it and "
                           "the\ncommand returns before it is back."),
         &Cli::protocol},
        {QStringLiteral("restart"),
         {AddressArgument},
         Talks,
         QT_TRANSLATE_NOOP("Cli", "Restarts the controller; returns before it is back."),
         &Cli::restart},
        {QStringLiteral("network"),
         {AddressArgument},
         Talks + QStringList{"--address", "--mask", "--gateway"},
         QT_TRANSLATE_NOOP("Cli",
                           "Changes the controller's address, mask and gateway (by default the\n"
                           "first host of the new network), restarts it, and waits until it "
                           "answers\nat the new address."),
         &Cli::network,
         false,
         {"--address", "--mask"}},
        {QStringLiteral("firmware"),
         {AddressArgument, {"FILE", Argument::File, {}}},
         Talks + QStringList{"--yes", "--tftp-port"},
         QT_TRANSLATE_NOOP("Cli",
                           "Checks the firmware file, then uploads it to the controller by TFTP.\n"
                           "Asks first unless --yes is given; without a terminal --yes is "
                           "required.\nA controller that does not identify itself (one waiting in "
                           "its boot loader)\nis updated only after a second question, or with "
                           "--yes."),
         &Cli::firmware},
        {QStringLiteral("watch"),
         {AddressArgument},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "One line per report of the controller (positions, AF, IS, errors) "
                           "until\ninterrupted; exit status 1 once the controller falls silent."),
         &Cli::watch},
        {QStringLiteral("send"),
         {AddressArgument, {"TEXT", Argument::Value, {}}},
         Talks,
         QT_TRANSLATE_NOOP("Cli",
                           "Sends one command (printable ASCII), verbatim, and prints the "
                           "replies\nthat arrive within --timeout (default 1 s). Exit status 1 when "
                           "none arrives."),
         &Cli::send},
        {QStringLiteral("completion"),
         {{"SHELL", Argument::Choice, {"bash"}}},
         {},
         QT_TRANSLATE_NOOP("Cli",
                           "Prints the completion script for the shell (bash); installed "
                           "packages\nhave it already."),
         &Cli::completion},
    };
    return table;
}

const Command* find(const QString& word, const QString& nextWord)
{
    for (const Command& command : commands()) {
        if (command.name == word || command.name == word + QLatin1Char(' ') + nextWord)
            return &command;
    }
    return nullptr;
}

QStringList commandWords()
{
    QStringList words;
    for (const Command& command : commands())
        words << command.name.section(QLatin1Char(' '), 0, 0);
    words.removeDuplicates();
    return words;
}

QString Command::synopsis() const
{
    QStringList words{name};
    for (const Argument& argument : arguments)
        words << (argument.kind == Argument::Choice ? argument.choices.join(QLatin1Char('|'))
                                                    : QLatin1String(argument.name));
    for (const QString& name : options) {
        if (isCommonOption(name))
            continue;
        const Option* entry = option(name);
        const QString shown =
            entry->valueName ? QStringLiteral("%1 %2").arg(name, QLatin1String(entry->valueName)) : name;
        words << (requiredOptions.contains(name) ? shown : QStringLiteral("[%1]").arg(shown));
    }
    return words.join(QLatin1Char(' '));
}

QString Command::usage() const
{
    QStringList words{QStringLiteral("lensdesk-cli"), synopsis()};
    for (const QString& name : options) {
        if (!isCommonOption(name))
            continue;
        const Option* entry = option(name);
        words << (entry->valueName ? QStringLiteral("[%1 %2]").arg(name, QLatin1String(entry->valueName))
                                   : QStringLiteral("[%1]").arg(name));
    }
    return tr("Usage: %1").arg(words.join(QLatin1Char(' ')));
}

bool Command::isCommonOption(const QString& name) const { return Talks.contains(name); }

int Command::addressIndex() const
{
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i).kind == Argument::Address)
            return i;
    }
    return -1;
}

} // namespace CommandTable
