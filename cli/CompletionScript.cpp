#include "cli/CompletionScript.h"

#include "cli/CommandTable.h"

#include <QStringList>

namespace CompletionScript {

namespace {

using CommandTable::Argument;

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// What bash offers for one argument of a command.
QString completionOf(const Argument& argument)
{
    switch (argument.kind) {
    case Argument::PresetName:
        return QStringLiteral(
            "COMPREPLY=($(compgen -W \"$(\"${COMP_WORDS[0]}\" preset list 2>/dev/null | cut -f1)\" -- \"$cur\"))");
    case Argument::File:
        return QStringLiteral("compopt -o filenames; COMPREPLY=($(compgen -f -- \"$cur\"))");
    case Argument::Choice:
        return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))")
            .arg(argument.choices.join(QLatin1Char('\n')));
    case Argument::Address:
    case Argument::Value:
        break;
    }
    return QString();
}

} // namespace

QString bash()
{
    const auto lines = [](const QStringList& words) { return quoted(words.join(QLatin1Char('\n'))); };
    QStringList valueOptions;
    for (const CommandTable::Option& option : CommandTable::options()) {
        if (!option.valueName)
            continue;
        valueOptions << QLatin1String(option.name);
        if (option.shortName)
            valueOptions << QLatin1String(option.shortName);
    }
    const QString takesValue = valueOptions.join(QLatin1Char('|'));

    QStringList script{
        QStringLiteral("# bash completion for lensdesk-cli, written by \"lensdesk-cli completion bash\"."),
        QStringLiteral("_lensdesk_cli()"),
        QStringLiteral("{"),
        QStringLiteral("    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}"),
        QStringLiteral("    local IFS=$'\\n' words=() skip= i"),
        QStringLiteral("    COMPREPLY=()"),
        QStringLiteral("    # The words before the cursor that are neither options nor their values."),
        QStringLiteral("    for ((i = 1; i < COMP_CWORD; i++)); do"),
        QStringLiteral("        if [[ -n $skip ]]; then skip=; continue; fi"),
        QStringLiteral("        case ${COMP_WORDS[i]} in"),
        QStringLiteral("        %1) skip=1 ;;").arg(takesValue),
        QStringLiteral("        -[0-9]*) words+=(\"${COMP_WORDS[i]}\") ;;"),
        QStringLiteral("        -*) ;;"),
        QStringLiteral("        *) words+=(\"${COMP_WORDS[i]}\") ;;"),
        QStringLiteral("        esac"),
        QStringLiteral("    done"),
        QStringLiteral("    case $prev in"),
        QStringLiteral("    %1) return ;;").arg(takesValue),
        QStringLiteral("    esac"),
        QStringLiteral("    # The command: two words first (\"preset save\"), then one."),
        QStringLiteral("    local command= taken=0"),
        QStringLiteral("    case \"${words[0]} ${words[1]}\" in"),
    };
    for (const CommandTable::Command& command : CommandTable::commands()) {
        if (command.name.contains(QLatin1Char(' ')))
            script << QStringLiteral("    %1) command=%1; taken=2 ;;").arg(quoted(command.name));
    }
    script << QStringLiteral("    *)") << QStringLiteral("        case ${words[0]} in");
    for (const CommandTable::Command& command : CommandTable::commands()) {
        if (!command.name.contains(QLatin1Char(' ')))
            script << QStringLiteral("        %1) command=%1; taken=1 ;;").arg(quoted(command.name));
    }
    script << QStringLiteral("        esac ;;") << QStringLiteral("    esac");

    // Options: those of the command, or those any command takes.
    script << QStringLiteral("    if [[ $cur == -* ]]; then")
           << QStringLiteral("        local options=%1").arg(lines({CommandTable::Help, CommandTable::Version}))
           << QStringLiteral("        case $command in");
    for (const CommandTable::Command& command : CommandTable::commands())
        script << QStringLiteral("        %1) options=%2 ;;")
                      .arg(quoted(command.name), lines(command.options + QStringList{CommandTable::Help}));
    script << QStringLiteral("        esac")
           << QStringLiteral("        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))")
           << QStringLiteral("        return") << QStringLiteral("    fi");

    // No command yet: its first word, or the second one.
    script << QStringLiteral("    if [[ -z $command ]]; then")
           << QStringLiteral("        if ((${#words[@]} == 0)); then")
           << QStringLiteral("            COMPREPLY=($(compgen -W %1 -- \"$cur\"))")
                  .arg(lines(CommandTable::commandWords()));
    for (const QString& word : CommandTable::commandWords()) {
        QStringList second;
        for (const CommandTable::Command& command : CommandTable::commands()) {
            if (command.name.startsWith(word + QLatin1Char(' ')))
                second << command.name.section(QLatin1Char(' '), 1);
        }
        if (second.isEmpty())
            continue;
        script << QStringLiteral("        elif ((${#words[@]} == 1)) && [[ ${words[0]} == %1 ]]; then").arg(word)
               << QStringLiteral("            COMPREPLY=($(compgen -W %1 -- \"$cur\"))").arg(lines(second));
    }
    script << QStringLiteral("        fi") << QStringLiteral("        return") << QStringLiteral("    fi");

    // The command's arguments, by position.
    script << QStringLiteral("    case \"$command:$((${#words[@]} - taken))\" in");
    for (const CommandTable::Command& command : CommandTable::commands()) {
        for (int i = 0; i < command.arguments.size(); ++i) {
            const QString completion = completionOf(command.arguments.at(i));
            if (!completion.isEmpty())
                script << QStringLiteral("    %1) %2 ;;")
                              .arg(quoted(command.name + QLatin1Char(':') + QString::number(i)), completion);
        }
    }
    script << QStringLiteral("    esac") << QStringLiteral("}")
           << QStringLiteral("complete -F _lensdesk_cli lensdesk-cli");
    return script.join(QLatin1Char('\n'));
}

} // namespace CompletionScript
