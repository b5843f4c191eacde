#pragma once

#include <cstdarg>
#include <cstdio>

// One measured figure in the line form scripts/bench gathers into its table:
//     FIGURE|<what>|<value>|<goal>
// The human-readable report of each benchmark stays as it is; these lines
// only add the figure with its goal.
inline void printFigure(const char* what, const char* goal, const char* valueFormat, ...)
{
    char value[160];
    va_list args;
    va_start(args, valueFormat);
    std::vsnprintf(value, sizeof value, valueFormat, args);
    va_end(args);
    std::printf("FIGURE|%s|%s|%s\n", what, value, goal);
    std::fflush(stdout);
}
