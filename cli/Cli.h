#pragma once

#include "cli/CliArguments.h"
#include "cli/CommandTable.h"
#include "cli/Output.h"
#include "lens/MoveConfirmation.h"
#include "link/ReplyReader.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class ControllerSession;
class StopRequest;

// lensdesk-cli: the controller's features from scripts. Every command is a
// member function that returns the exit status; the command table
// (CommandTable) names them, and they live in the files of their area
// (cli/commands/). The event loop runs inside the waits of the controller
// session, so nothing sleeps and every wait has a bound.
//
// A stop request (SIGINT, SIGTERM, SIGHUP, or the end of --max-time) ends
// the wait under way; what the command has set going is stopped (the lens
// is told "stopFocus", an upload ends and the controller is told that no
// update is pending), and the program ends with 128 plus the signal's
// number, or 1 for --max-time.
class Cli : public QObject
{
    Q_OBJECT

public:
    enum Status {
        Done = 0,
        Failed = 1,      // refused, reported an error, did not answer in time, or output lost
        BadUsage = 2,    // nothing was sent
        NothingFound = 3 // "search" found no controller
    };

    Cli(const CliArguments& arguments, Output& output, StopRequest& stop, QObject* parent = nullptr);

    int run();

    // The commands (cli/commands/).
    int search();
    int info();
    int move();
    int nudge();
    int stabilizer();
    int presetList();
    int presetSave();
    int presetRecall();
    int presetDelete();
    int name();
    int focusTimeout();
    int protocol();
    int restart();
    int network();
    int firmware();
    int watch();
    int send();
    int completion();

signals:
    // A stop was requested; every wait of the command ends.
    void stopping();

private:
    enum class StopCause { None, Signal, MaxTime };

    // The answers to the identity questions and the lens reports the
    // controller volunteers after "ver" come within a second on any network
    // it is used on.
    static constexpr int AnswersLimitMs = 2000;

    // A whole decimal number from `low` to `high`.
    static bool wholeNumber(const QString& text, int low, int high, int* value);

    // Help and usage.
    QString helpText(const QStringList& words) const;
    int usage(const QString& sentence);
    // Checks the options, the argument count and the address of `command`.
    int checkUsage(const CommandTable::Command& command);

    // The command's positional arguments (the address filled in from
    // LENSDESK_ADDRESS where it was left out).
    QString argument(int index) const { return m_arguments.value(index); }
    const CliArguments& options() const { return m_options; }
    Output& output() { return m_output; }

    // A failure of the command. While stopping, only the stop is reported.
    int failure(Output::Reason reason, const QString& sentence);
    // The result of a command that did what it was asked: Done, or Failed
    // when it could not be written.
    int finish(const QJsonValue& json, const QString& text);
    // Waits bounded by --timeout when given, otherwise by `defaultMs`.
    int limit(int defaultMs) const;

    // A command on the controller named by the ADDRESS argument: `check`
    // (which returns a usage sentence or nothing) runs before anything is
    // sent; then the controller is identified and `act` runs.
    int onController(const std::function<QString()>& check, const std::function<int(ControllerSession&)>& act);
    // A session with the controller, its traffic logged with --verbose and
    // its waits ended by a stop request.
    void attach(ControllerSession& session);
    // Identifies the controller; on failure reports it.
    bool connectTo(ControllerSession& session, int* status);
    // Sends `command` and waits until one of `doneKinds` or a controller
    // error is read. Reports a refusal or a time-out.
    bool sendAndAwait(ControllerSession& session, const QString& command, const QVector<ReplyFact::Kind>& doneKinds,
                      int timeoutMs, int* status);
    // A command's outcome: not confirmed in time, or refused, is reported
    // (into *status); true when neither.
    bool accepted(const ControllerSession& session, const QString& command, bool confirmed, bool refused, int* status);
    // Waits for the lens reports the controller volunteers after its
    // identification, until `known` holds: they must be in before a request
    // whose answer looks the same. Reports a time-out or a controller that
    // sees no lens.
    bool awaitLens(ControllerSession& session, const std::function<bool()>& known, int* status);
    // An absolute move: sent and awaited by the rule of MoveConfirmation
    // (for a zoom move, the confirmations of the focus and iris held through
    // it are let through). Reports a refusal or a time-out (and tells the
    // latter in *unconfirmed, when given).
    bool confirmMove(ControllerSession& session, const QString& command, MoveConfirmation::Await await, int timeoutMs,
                     int* status, bool* unconfirmed = nullptr);
    // Asks on the terminal; No unless the answer begins with y. False as
    // well when a stop is requested meanwhile.
    bool confirm(const QString& question);

    // Stops what the command has set going, ends its waits.
    void stop(StopCause cause, int signalNumber = 0);
    bool isStopping() const { return m_stopCause != StopCause::None; }
    // The exit status of a stopped command, its reason reported once.
    int stopStatus();

    CliArguments m_options;
    Output& m_output;
    StopRequest& m_stopRequest;
    const CommandTable::Command* m_command = nullptr;
    QStringList m_arguments;
    // The session of the command under way (to stop the lens).
    QPointer<ControllerSession> m_session;
    QTimer m_maxTime;
    StopCause m_stopCause = StopCause::None;
    int m_stopSignal = 0;
};
