#pragma once

#include <QHostAddress>
#include <QSet>
#include <QString>
#include <QStringList>

// Everything the simulated controller can be told on its command line.
// Defaults describe a power-zoom controller with an 18-55 mm zoom lens,
// answering on 127.0.0.1:1339 without faults.
struct SimOptions
{
    // Transport and log.
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 1339;
    QString logFile;      // empty: no traffic log file
    bool verbose = false; // echo every log line to standard error

    // Identity.
    QString product = QStringLiteral("ORVO KX-MQTR");
    QString firmware = QStringLiteral("1.9.0");
    QString bootLoader = QStringLiteral("1");
    QString serial = QStringLiteral("15001");
    QString mac = QStringLiteral("2-0-0-17-34-51");
    QString hardware = QStringLiteral("3");
    QString vendor = QStringLiteral("ORVO");
    QString name;
    int focusTimeoutMs = 2000;
    int protocol = 0;
    QString mask = QStringLiteral("255.0.0.0");
    QString gateway; // empty: the first host address of the network

    // Lens.
    QString lens = QStringLiteral("zoom-is");
    int focusFar = 0;        // motor count of the far end of the focus travel
    int focusNear = -1;      // motor count of the near end; -1: the lens's travel beyond the far end
    int reportDelayMs = 300; // from an identification to the lens reports
    bool moveSummary = true; // a "Current=" report ends every move
    bool confirmStop = true; // "stopFocus" ends a focus move with "focusDone"
    // After "zoomDone", also "focusDone" and "irisDone" for the focus and iris
    // held through the zoom move; off: "zoomDone" alone.
    bool confirmHeldAfterZoom = true;
    // Absolute focus moves end with "focusDone"; off: never (the position
    // reports and the summary still come).
    bool confirmFocusMoves = true;

    // Liveness and restarts.
    int restartMs = 1500;
    int silentAfterMs = -1; // -1: never falls silent by itself
    int silentForMs = 0;    // 0: silent until SIGUSR1

    // Faults on the command port.
    quint32 seed = 0;
    bool seedGiven = false;
    double lossIn = 0.0;
    double lossOut = 0.0;
    int delayMs = 0;
    double duplicate = 0.0;
    int gapMs = 30; // least time between two answers

    // Firmware update.
    quint16 tftpPort = 69;
    QString imageFile; // empty: the image is only measured, not stored
    int tftpRefuse = 0;
    QSet<int> tftpDropBlocks;
    qint64 maxImageBytes = 16 * 1024 * 1024;
    // Starts in the boot loader, waiting for an image (as after an update
    // that failed): answers no command until an image has come.
    bool waitingForImage = false;

    // Parses the process's arguments; prints help or an error and exits the
    // process when asked to or when an option is unusable.
    static SimOptions fromArguments(const QStringList& arguments);
};
