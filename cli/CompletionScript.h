#pragma once

#include <QString>

// The bash completion script of lensdesk-cli, written from the command
// table: the commands, each command's options and arguments, and the preset
// names, which it asks the program for (they live in the settings store).
namespace CompletionScript {

QString bash();

} // namespace CompletionScript
