#pragma once

#include <QElapsedTimer>
#include <QJsonValue>
#include <QString>

#include <cstdio>

// Everything lensdesk-cli writes. Results go to standard output, messages to
// standard error, always in UTF-8 whatever the locale. Every write is
// checked: a result that cannot be written (standard output closed, a full
// disk, a pipe whose reader has gone) is reported once on standard error as
// "cannot write output", and the command fails.
//
// With --json a result is one JSON document (a line), and a failure also
// goes to standard error as one JSON object:
//   {"error":{"status":1,"reason":"timeout","message":"..."}}
class Output
{
public:
    // Why a command failed, as the JSON error object names it.
    enum class Reason {
        Timeout,     // no answer, or not all of it, in time
        Refused,     // the controller refused or reported an error
        Unreachable, // no local port, no route, or the output cannot be written
        BadInput,    // bad usage or bad input: nothing was sent
        Interrupted, // a signal asked the command to stop
    };

    Output(bool json, bool verbose);

    bool json() const { return m_json; }

    // One result: the JSON value with --json, otherwise the text (lines).
    // False when it could not be written.
    bool result(const QJsonValue& json, const QString& text);
    // One line of text on standard output, as it comes ("send" in text mode).
    bool line(const QString& text);
    // A sentence for the user on standard error (a warning, a note).
    void note(const QString& text);
    // A question on standard error, without a line end.
    void ask(const QString& question);
    // The failure of the command, in words (and with --json as an object);
    // returns `status`.
    int failure(Reason reason, int status, const QString& message);
    // With --verbose, one datagram sent ('>') or received ('<'), with the
    // milliseconds since the start.
    void traffic(char direction, const QString& text);
    bool isVerbose() const { return m_verbose; }

    // Whether a result could not be written.
    bool failed() const { return m_failed; }

    // Text from the controller for people: control characters (C0, DEL,
    // C1) written as \xHH, so that no reply can drive the terminal.
    static QString escaped(const QString& text);
    static QString reasonName(Reason reason);

private:
    bool write(FILE* stream, const QByteArray& bytes);
    bool writeResult(const QByteArray& bytes);

    bool m_json;
    bool m_verbose;
    bool m_failed = false;
    QElapsedTimer m_clock;
};
