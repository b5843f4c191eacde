#pragma once

#include "ModalAnswerer.h"
#include "ScriptedController.h"

#include "app/LensDesk.h"

#include <QByteArray>
#include <QList>

#include <memory>

class QSettings;

// The panel's main window aimed at a scripted controller of its own, with a
// modal answerer for the dialogs it opens: what the window tests start
// from. The controller answers "ping" with "AF=1", as one with an autofocus
// lens does, until the test scripts it otherwise. The host's neighbour (ARP)
// cache is out of reach: an address change only counts the flushes it asks
// for. The window goes before the controller, so its workers stop while
// their peer still listens.
class ConnectedWindow
{
public:
    ConnectedWindow();
    ~ConnectedWindow();
    ConnectedWindow(const ConnectedWindow&) = delete;
    ConnectedWindow& operator=(const ConnectedWindow&) = delete;

    LensDesk& window() { return *m_window; }
    ScriptedController& controller() { return m_controller; }
    ModalAnswerer& modals() { return m_modals; }
    int flushes() const { return m_flushes; }
    // Where the controller's replies go: the port of the window's command
    // socket (on every local address).
    quint16 panelPort() const;
    // The window's settings store and its profiles, opened a second time:
    // within one process each sees at once what the other writes.
    QSettings& settings() { return *m_settings; }
    QSettings& profiles() { return *m_profiles; }

    // Connects as the connect dialog does: the controller answers "ver" with
    // `identification`, and the window probes, identifies it and starts its
    // workers. True once a liveness monitor runs that was not there before.
    bool identify(const QString& identification = QStringLiteral("ORVO RE-2=1.8.3"));

    // The window as after a connection to `product` (firmware 1.9.0) with an
    // autofocus lens whose ranges were not reported yet: identified, "AF=1"
    // reported, the lens controls enabled, the window shown. A focus
    // read-out keeps the connect dialog from opening over it. The
    // controller's log starts empty after it. True once the window is
    // exposed.
    bool stage(const QString& product = QStringLiteral("ORVO KX-MQTR"));

    // Sends `reports` from the controller to the panel, then a marker (a
    // focus time-out "T=n"), and waits until the panel has handled the
    // marker and so everything before it.
    bool report(const QList<QByteArray>& reports);

    // From now on the controller leaves pings unanswered, and no answer to
    // an earlier one is on its way any more: the liveness monitor's pause
    // and count change only by what the test does.
    bool stopAnsweringPings();

    // A set-point recall the operator cancels while its focus moves: from
    // then on the controller has confirmed none of the absolute moves (on a
    // model without power zoom the zoom counts as confirmed), as during a
    // move. Uses a set point of its own and removes it; the controller's
    // log starts empty after it. Needs an identified controller.
    bool leaveMovesUnconfirmed();

private:
    ScriptedController m_controller;
    ModalAnswerer m_modals;
    std::unique_ptr<LensDesk> m_window;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<QSettings> m_profiles;
    int m_flushes = 0;
    int m_marker = 1000;
};
