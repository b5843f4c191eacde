#pragma once

#include <QByteArray>
#include <QString>

// One received command, split into its word and value ("setAper=5.6" is
// the word "setAper" with the value "5.6"; "ping" has no value), plus the
// answer helpers shared by the parts of the simulator.
struct SimCommand
{
    QString word;
    QString value;
    bool hasValue = false;

    // The controller reads a command as a C string: Latin-1 up to the first
    // NUL. A trailing line end (from a hand-typed "echo ver | nc -u") is
    // dropped. Commands longer than `MaxLength` are not commands.
    static constexpr int MaxLength = 128;
    static bool parse(const QByteArray& datagram, SimCommand* command);

    // The word of a catalogue entry such as "setNAME=%1" or "setFLAG=99".
    static QString wordOf(const char* catalogueEntry);

    // Whole base-10 number / finite decimal number of the value.
    bool intValue(qint64* out) const;
    bool realValue(double* out) const;
};

namespace SimAnswer {
// "errorParam: ..." and friends. The detail is lowered and stripped of "=",
// so an error can never look like a position, range or identity report to
// the panel (which also tests every answer for "Zoom", "Iris", "IP=" ...).
QByteArray errorParam(const QString& detail);
QByteArray errorRange(const QString& detail);
QByteArray errorFocus(const QString& detail);
} // namespace SimAnswer
