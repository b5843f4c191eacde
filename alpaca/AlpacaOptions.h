#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// What lensdesk-alpaca is told on its command line and in its configuration
// file (--config FILE: one option per line as on the command line, without
// the dashes, "name = value"; "#" starts a comment). The command line wins
// over the file; controllers from both are served.
struct AlpacaOptions
{
    Q_DECLARE_TR_FUNCTIONS(AlpacaOptions)

public:
    static constexpr quint16 DefaultPort = 11111;

    QStringList controllers; // dotted quads, canonical
    bool search = false;
    quint16 port = DefaultPort;
    QString listen = QStringLiteral("0.0.0.0");
    quint16 discoveryPort = 32227; // 0: no discovery
    QString location;              // empty: the host's name

    enum class Outcome {
        Run,
        Shown, // help or version printed: end with status 0
        Bad,   // *error says why: end with status 2
    };
    static Outcome parse(const QStringList& arguments, AlpacaOptions* options, QString* error);
};
