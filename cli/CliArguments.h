#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of lensdesk-cli: the words (command and arguments, in
// order) and the options, which may stand anywhere. Long options take their
// value as "--timeout 2" or "--timeout=2", short ones as "-t 2" or "-t2";
// flags may be grouped ("-jy"). A word that begins with "-" and a digit is a
// number, not an option ("nudge ADDRESS focus -40"), and "--" ends the
// options (so that "send" can pass a text beginning with "-").
struct CliArguments
{
    QStringList words;
    QHash<QString, QString> values; // "--zoom" -> "35", by long name
    QSet<QString> flags;            // "--yes", by long name
    bool json = false;
    bool verbose = false;
    std::optional<int> timeoutMs;
    std::optional<int> maxTimeMs;

    bool has(const QString& option) const { return values.contains(option) || flags.contains(option); }
    // Every option given, by long name.
    QStringList given() const;

    // Parses the arguments after the program name. On a usage error returns
    // false with one sentence in *error.
    static bool parse(const QStringList& arguments, CliArguments* out, QString* error);
};
