#pragma once

#include "sim/CommandPort.h"
#include "sim/LensCatalogue.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QVector>

struct SimCommand;

// The lens on the controller's bus and its three drives. Moves run at a
// realistic speed on a 40 ms tick. While a drive moves it is reported
// ("Zoom=", "Focus=", "Iris="), an absolute move ends with "zoomDone",
// "focusDone" or "irisDone", and when everything has stopped one "Current="
// sums up. An absolute zoom move shifts focus and iris on a real zoom lens;
// the controller holds them and, after "zoomDone", confirms both with
// "focusDone" and "irisDone" (unless told to send "zoomDone" alone, as other
// controllers may). At most one report leaves per tick, like a real
// device's bus cycle.
//
// Directions follow the panel's buttons: a positive "moveZoom" goes wide,
// "moveFocus" near and "moveAper" open. Units of the relative words: zoom
// 0.1 mm, focus one motor count, aperture one third stop.
class LensMotion : public QObject
{
    Q_OBJECT
public:
    LensMotion(const LensSpec& lens, bool powerZoom, bool confirmHeldAfterZoom, QObject* parent = nullptr);

    // Handles the lens words; false for any other word. `answer` holds an
    // immediate answer (an error, "nolensfound") or stays empty.
    bool handle(const SimCommand& command, const Peer& peer, int focusTimeoutMs, QByteArray* answer);

    // What the controller volunteers after an identification.
    QList<QByteArray> lensReports() const;
    // Proof of life for the panel: the AF switch, which it folds in without
    // side effects.
    QByteArray pingAnswer() const;
    // A restart stops the drives and the stabiliser.
    void stopAll();
    // Whether a move that ends is summed up with "Current=" (on by default);
    // the panel and the client must also do without it.
    void setMoveSummary(bool on) { m_moveSummary = on; }
    // Whether "stopFocus" ends an absolute focus move with "focusDone" (on by
    // default); drivers must not take a late one for the next move's end.
    void setStopConfirmed(bool on) { m_confirmStop = on; }
    // Whether an absolute focus move ends with "focusDone" (on by default);
    // off, its end is never confirmed, for the time limits of the programs
    // that wait for it.
    void setFocusConfirmation(bool on) { m_confirmFocus = on; }

signals:
    void report(const Peer& peer, const QByteArray& text);

private:
    enum class Ending { None, Done, RangeReport };
    struct Axis
    {
        double position = 0;
        double target = 0;
        double low = 0;
        double high = 0;
        double speed = 0; // units per second
        bool moving = false;
        Ending ending = Ending::None;
        QVector<double> waypoints;
        bool positionDue = false;
        QByteArray lastReported; // no report while the rounded value stands still
        bool endingDue = false;
        qint64 startedMs = 0;
    };
    enum AxisIndex { ZoomAxis, FocusAxis, IrisAxis, AxisCount };

    QByteArray handleZoom(const SimCommand& command);
    QByteArray handleFocus(const SimCommand& command, int focusTimeoutMs);
    QByteArray handleIris(const SimCommand& command);
    QByteArray handleStabiliser(const SimCommand& command);

    void moveRelative(AxisIndex index, double delta);
    void moveAbsolute(AxisIndex index, double target, Ending ending);
    void startTicking();
    void onTick();
    void keepIrisWithinOpenLimit();
    bool sendOneReport();

    double openStop() const; // widest aperture at the present zoom
    double closedStop() const;
    QByteArray positionReport(AxisIndex index) const;
    QByteArray endingReport(AxisIndex index) const;
    // "fRange=<far>,<near>" in motor counts.
    QByteArray focusRangeReport() const;
    QByteArray currentReport() const;
    static QString number(double value);

    LensSpec m_lens;
    bool m_powerZoom;
    bool m_confirmHeldAfterZoom;
    Axis m_axes[AxisCount];
    int m_nextReportAxis = 0;
    bool m_currentDue = false;
    bool m_moveSummary = true;
    bool m_confirmStop = true;
    bool m_confirmFocus = true;
    // Confirmations of focus and iris after an absolute zoom move.
    bool m_focusSettledDue = false;
    bool m_irisSettledDue = false;
    bool m_focusErrorDue = false;
    int m_focusTimeout = 0;
    bool m_stabiliserActive = false;
    QTimer m_stabiliserTimer;
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    Peer m_peer;
};
