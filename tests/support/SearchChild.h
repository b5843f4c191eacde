#pragma once

#include <QByteArray>
#include <QStringList>

// The panel side of the LAN search tests. It runs inside the panel namespace
// (the test executable re-invoked with SearchChild::Argument under
// "ip netns exec"): it opens a connect dialog, runs the real search over the
// namespace's interfaces, and prints what it saw for the parent to check:
//
//   SEARCH <milliseconds> <timer ticks> <paint events>
//   I <interface row text>
//   C <controller row text>        (children follow their interface row)
//   SOCKETS <search sockets>       (after the first search)
//   LATE <answers held>            (with --late-reply, then a second search
//   DELETED <1 or 0>                during which the dialog is deleted later)
//
// The ticks come from a 50 ms timer on the GUI thread and the paints are the
// paint events of every widget during the search: both stay at zero if the
// window freezes while it listens.
namespace SearchChild {

constexpr const char* Argument = "--search-child";
// After the first search, a late answer reaches a search socket; a second
// search follows and must not list it. During that search the dialog is
// scheduled for deletion, which must wait for the search to end.
constexpr const char* LateReply = "--late-reply";
constexpr int TickMs = 50;

// The child's whole run, application object included; returns the process
// exit code.
int run(int argc, char** argv);

struct Search
{
    qint64 milliseconds = -1;
    int ticks = 0;
    int paints = 0;
    QStringList tree; // the "I ..." and "C ..." lines
};

// Parses the child's output; `late`, `deleted` and `sockets` get the LATE,
// DELETED and SOCKETS figures (-1 when absent).
QList<Search> parse(const QByteArray& output, int* late = nullptr, int* deleted = nullptr, int* sockets = nullptr);

} // namespace SearchChild
