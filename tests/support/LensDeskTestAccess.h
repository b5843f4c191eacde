#pragma once

#include "app/LensDesk.h"

#include "admin/masterDlg.h"
#include "discovery/setIPDlg.h"
#include "lens/zoomWorker.h"

#include <QTimer>

#include <functional>

// The tests' one way into the main window's private state. A test drives
// the window through its widgets, actions, shortcuts and a scripted
// controller: what the controller reports, it reports as a datagram (see
// ConnectedWindow::report). It comes here only to look at what none of
// those shows, and for the four seams below that nothing else reaches.
class LensDeskTestAccess
{
public:
    // ---- Observations: values and pointers that change nothing. ----

    // The link: where commands go, and the command socket (its port is where
    // the controller's replies go; its descriptor shows what the kernel
    // granted it).
    static QString controllerAddress(const LensDesk& w) { return w.controllerAddress; }
    static const QUdpSocket* commandSocket(const LensDesk& w) { return w.commandSocket; }

    // The dialogs made per show and per attempt: several may exist as
    // children at once, and only the window knows its current one. They are
    // handed out as the operator sees them, to be looked at and answered.
    static setIPDlg* connectDialog(const LensDesk& w) { return w.m_connectDialog; }
    static masterDlg* serviceDialog(const LensDesk& w) { return w.m_serviceDialog; }

    // The worker threads of the current connection (none before the first
    // identification): their held-direction flags, steps, positions, limits,
    // pause state and missed-ping counts have no widget.
    static const zoomWorker* motionWorker(const LensDesk& w) { return w.m_motionWorker; }
    static const pingWorker* livenessMonitor(const LensDesk& w) { return w.m_livenessMonitor; }

    // The device record: what the controller reported, partly shown only in
    // the About box and the service dialog.
    static QString productName(const LensDesk& w) { return w.productName; }
    static QString firmwareVersion(const LensDesk& w) { return w.firmwareVersion; }
    static QString firmwareNumber(const LensDesk& w) { return w.firmwareNumber; }
    static QString bootloaderVersion(const LensDesk& w) { return w.bootloaderVersion; }
    static QString hardwareVersion(const LensDesk& w) { return w.hardwareVersion; }
    static QString serialNumber(const LensDesk& w) { return w.serialNumber; }
    static QString macAddress(const LensDesk& w) { return w.macAddress; }
    static QString vendorInfo(const LensDesk& w) { return w.vendorInfo; }
    static QString deviceName(const LensDesk& w) { return w.deviceName; }
    static int zoomRangeWide(const LensDesk& w) { return w.zoomRangeWide; }
    static int zoomRangeTele(const LensDesk& w) { return w.zoomRangeTele; }
    static float minimumFNumber(const LensDesk& w) { return w.minimumFNumber; }
    static int focusTimeout(const LensDesk& w) { return w.focusTimeout; }
    static int currentProtocol(const LensDesk& w) { return w.currentProtocol; }

    // The lens-control state behind the read-outs: the f-number scale, the
    // last reported positions and what the controller has confirmed of the
    // absolute moves.
    static QVector<float> fNumberTable(const LensDesk& w) { return w.fNumberTable; }
    static int currentZoom(const LensDesk& w) { return w.currentZoom; }
    static int currentFocus(const LensDesk& w) { return w.currentFocus; }
    static float currentIris(const LensDesk& w) { return w.currentIris; }
    static bool afEnabled(const LensDesk& w) { return w.afEnabled; }
    static bool zoomDoneFlag(const LensDesk& w) { return w.zoomDoneFlag; }
    static bool focusDoneFlag(const LensDesk& w) { return w.focusDoneFlag; }
    static bool irisDoneFlag(const LensDesk& w) { return w.irisDoneFlag; }

    // ---- Seams: what neither the operator nor the controller can set. ----

    // Aims the window at a controller without the connect dialog, as the
    // operator's last choice would.
    static void aimAt(LensDesk& w, const QString& address) { w.controllerAddress = address; }

    // Replaces the step that empties the host's neighbour cache after an
    // address change, so that no test empties the cache of the machine it
    // runs on.
    static void replaceAddressCacheFlush(LensDesk& w, std::function<int()> flush)
    {
        w.m_flushAddressResolutionCache = std::move(flush);
    }

    // An attempt's time limit, which a test makes run out at a moment of its
    // choosing instead of waiting six seconds.
    static QTimer* attemptTimeLimit(LensDesk& w) { return w.connectTimer; }

    // What the limit finder measured, as its search leaves it in the motion
    // worker. The search itself takes a quarter of a minute per run; a test
    // of what the window does with the limits starts from them.
    struct MeasuredLimits
    {
        int zoomWide, zoomNarrow, focusFar, focusNear;
        float irisClose, irisOpen;
    };
    static bool setMeasuredLimits(LensDesk& w, const MeasuredLimits& limits)
    {
        zoomWorker* worker = w.m_motionWorker;
        if (!worker)
            return false;
        worker->zoomWideLimit = limits.zoomWide;
        worker->zoomNarrowLimit = limits.zoomNarrow;
        worker->focusFarLimit = limits.focusFar;
        worker->focusNearLimit = limits.focusNear;
        worker->irisCloseLimit = limits.irisClose;
        worker->irisOpenLimit = limits.irisOpen;
        return true;
    }
};
