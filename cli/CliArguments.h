#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of lensdesk-cli: global options, a command, its
// positional arguments and its options. Options may stand anywhere; "--"
// ends them (so that "send" can pass a text beginning with "--").
struct CliArguments
{
    bool json = false;
    bool help = false;
    std::optional<int> timeoutMs;
    QString command;
    QStringList positional;
    QHash<QString, QString> values; // "--zoom" -> "35"
    QSet<QString> flags;            // "--yes"

    bool has(const QString& option) const { return values.contains(option) || flags.contains(option); }

    // Parses the arguments after the program name. On a usage error returns
    // false with one sentence in *error.
    static bool parse(const QStringList& arguments, CliArguments* out, QString* error);
};
