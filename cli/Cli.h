#pragma once

#include "cli/CliArguments.h"
#include "lens/MoveConfirmation.h"

#include <QJsonValue>
#include <QObject>
#include <QString>

#include <functional>

class ControllerSession;

// lensdesk-cli: the controller's features from scripts. Every command is a
// member function that returns the exit status; the event loop runs inside
// the waits of the controller session, so nothing sleeps and every wait has
// a bound.
class Cli : public QObject
{
    Q_OBJECT

public:
    enum Status {
        Done = 0,
        Failed = 1,      // refused, reported an error, or did not answer in time
        BadUsage = 2,    // nothing was sent
        NothingFound = 3 // "search" found no controller
    };

    explicit Cli(const CliArguments& arguments, QObject* parent = nullptr);

    int run();

    // The program's help text, or one command's.
    static QString helpText(const QString& command = QString());

private:
    // Commands.
    int search();
    int info();
    int move();
    int nudge();
    int stabilizer();
    int preset();
    int presetList();
    int presetSave(const QString& name);
    int presetRecall(const QString& name);
    int presetDelete(const QString& name);
    int name();
    int focusTimeout();
    int protocol();
    int restart();
    int network();
    int firmware();
    int watch();
    int send();

    // Helpers.
    int usage(const QString& sentence) const;
    int failure(const QString& sentence) const;
    // The address argument at `index` in canonical dotted-quad form, or an
    // empty text after reporting bad usage (into *status, when given).
    QString addressArgument(int index, int* status) const;
    bool expectArguments(int count, int* status) const;
    // Waits bounded by --timeout when given, otherwise by `defaultMs`.
    int limit(int defaultMs) const;
    // A command on the controller named by the argument at `addressIndex`:
    // the argument count, the address and (`check`, which returns a usage
    // sentence or nothing) the other arguments are checked before anything
    // is sent; then the controller is identified and `act` runs.
    int onController(int argumentCount, const std::function<QString()>& check,
                     const std::function<int(ControllerSession&)>& act, int addressIndex = 0);
    // Identifies the controller at `address`; on failure reports it.
    bool connectTo(ControllerSession& session, int* status) const;
    // Sends `command` and waits until one of `doneKinds` or a controller
    // error is read. Reports a refusal or a time-out.
    bool sendAndAwait(ControllerSession& session, const QString& command, const QVector<int>& doneKinds, int timeoutMs,
                      int* status) const;
    // An absolute move: sent and awaited by the rule of MoveConfirmation
    // (for a zoom move, the confirmations of the focus and iris held through
    // it are let through). Reports a refusal or a time-out (and tells the
    // latter in *unconfirmed, when given).
    bool confirmMove(ControllerSession& session, const QString& command, MoveConfirmation::Await await, int timeoutMs,
                     int* status, bool* unconfirmed = nullptr) const;
    // One result: JSON on stdout with --json, otherwise the text.
    void print(const QJsonValue& json, const QString& text) const;

    CliArguments m_arguments;
};
