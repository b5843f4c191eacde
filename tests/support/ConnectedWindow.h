#pragma once

#include "ModalAnswerer.h"
#include "ScriptedController.h"

#include "app/LensDesk.h"

#include <memory>

// The panel's main window aimed at a scripted controller of its own, with a
// modal answerer for the dialogs it opens: what the window tests start
// from. The host's neighbour (ARP) cache is out of reach: an address change
// only counts the flushes it asks for. The window goes before the
// controller, so its workers stop while their peer still listens.
class ConnectedWindow
{
public:
    ConnectedWindow();
    ConnectedWindow(const ConnectedWindow&) = delete;
    ConnectedWindow& operator=(const ConnectedWindow&) = delete;

    LensDesk& window() { return *m_window; }
    ScriptedController& controller() { return m_controller; }
    ModalAnswerer& modals() { return m_modals; }
    int flushes() const { return m_flushes; }

    // The widget, action or dialog of the window with this object name,
    // found as a user finds it.
    template <typename T>
    T* find(const QString& objectName) const
    {
        return m_window->findChild<T*>(objectName);
    }

    // Connects as the connect dialog does: the controller answers "ver" with
    // `identification`, and the window probes, identifies it and starts its
    // workers. True once the liveness monitor exists.
    bool identify(const QString& identification = QStringLiteral("ORVO RE-2=1.8.3"));

    // The window as after a connection to `product` with an autofocus lens,
    // without the exchange: the f-number scale, a running motion worker, a
    // liveness monitor that is not started (it sends no pings, but keeps its
    // pause state), the lens controls enabled, and the window shown. A focus
    // read-out keeps the connect dialog from opening over it. True once the
    // window is exposed.
    bool stage(const QString& product = QStringLiteral("ORVO KX-MQTR"));

private:
    ScriptedController m_controller;
    ModalAnswerer m_modals;
    std::unique_ptr<LensDesk> m_window;
    int m_flushes = 0;
};
