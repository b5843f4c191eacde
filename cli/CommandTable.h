#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

class Cli;

// The commands of lensdesk-cli and their options, as data: one table drives
// the dispatch, the help texts, the check of each command's options, and the
// bash completion script.
namespace CommandTable {

struct Option
{
    const char* name;      // "--timeout"
    const char* shortName; // "-t", or nullptr
    const char* valueName; // "SECONDS", or nullptr for a flag
    const char* help;
};

struct Argument
{
    enum Kind {
        Address,    // the controller's address; LENSDESK_ADDRESS stands in for it
        PresetName, // completed from the settings store
        File,       // completed from the file system
        Choice,     // one of `choices`
        Value,      // anything else (a number, a text)
    };
    const char* name; // "STEPS"; for a Choice what the synopsis shows
    Kind kind;
    QStringList choices;
};

struct Command
{
    QString name; // "info", "preset save"
    QVector<Argument> arguments;
    // The options it takes, besides --help and --version.
    QStringList options;
    const char* help;
    int (Cli::*handler)();
    // It moves the lens: a stop request (a signal, --max-time) stops it.
    bool movesLens = false;
    // Options it cannot do without.
    QStringList requiredOptions = {};

    // "info ADDRESS", "move ADDRESS [--zoom MM] [--focus COUNT] ...": the
    // arguments and the options of its own.
    QString synopsis() const;
    // The usage line with every option it takes.
    QString usage() const;
    bool isCommonOption(const QString& name) const;
    int addressIndex() const; // -1 without an address
};

const QVector<Option>& options();
const Option* option(const QString& name); // by long or short name
const QVector<Command>& commands();
// The command named by the first one or two words (as "preset save").
const Command* find(const QString& word, const QString& nextWord);
// The first words of the commands, in the table's order, each once.
QStringList commandWords();

// Options any command takes.
constexpr const char* Help = "--help";
constexpr const char* Version = "--version";

} // namespace CommandTable
