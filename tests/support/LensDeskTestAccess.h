#pragma once

#include "app/LensDesk.h"

#include <QPointer>

// The tests' one way into the main window's private state. A test drives
// the window through its widgets, actions, shortcuts and a scripted
// controller; it comes here only for what none of those shows or sets up.
// Each accessor hands out the member itself, so a test can both stage and
// observe it.
class LensDeskTestAccess
{
public:
    // The link: tests aim the window at their own controller without the
    // connect dialog, read the local port the controller sees replies go
    // to, and replace the neighbour-cache flush so that no test empties the
    // cache of the machine it runs on.
    static QString& controllerAddress(LensDesk& w) { return w.controllerAddress; }
    static QUdpSocket*& commandSocket(LensDesk& w) { return w.commandSocket; }
    static std::function<int()>& flushAddressResolutionCache(LensDesk& w) { return w.m_flushAddressResolutionCache; }
    // An attempt's time limit, which a test fires at once instead of waiting
    // six seconds.
    static QTimer*& connectTimer(LensDesk& w) { return w.connectTimer; }

    // The dialogs made per show and per attempt: several may exist as
    // children at once, and only the window knows its current one.
    static QPointer<setIPDlg>& connectDialog(LensDesk& w) { return w.m_connectDialog; }
    static QPointer<masterDlg>& serviceDialog(LensDesk& w) { return w.m_serviceDialog; }

    // The worker threads: their held-direction flags, steps, positions,
    // limits and missed-ping counts are shared atomics with no widget.
    static zoomWorker*& motionWorker(LensDesk& w) { return w.m_motionWorker; }
    static pingWorker*& livenessMonitor(LensDesk& w) { return w.m_livenessMonitor; }

    // The device record: what the controller reported, partly shown only
    // in the About box and the service dialog, and the state a test stages
    // in place of an identification exchange.
    static QString& productName(LensDesk& w) { return w.productName; }
    static QString& firmwareVersion(LensDesk& w) { return w.firmwareVersion; }
    static QString& firmwareNumber(LensDesk& w) { return w.firmwareNumber; }
    static QString& bootloaderVersion(LensDesk& w) { return w.bootloaderVersion; }
    static QString& hardwareVersion(LensDesk& w) { return w.hardwareVersion; }
    static QString& serialNumber(LensDesk& w) { return w.serialNumber; }
    static QString& macAddress(LensDesk& w) { return w.macAddress; }
    static QString& vendorInfo(LensDesk& w) { return w.vendorInfo; }
    static QString& deviceName(LensDesk& w) { return w.deviceName; }
    static int& zoomRangeWide(LensDesk& w) { return w.zoomRangeWide; }
    static int& zoomRangeTele(LensDesk& w) { return w.zoomRangeTele; }
    static float& minimumFNumber(LensDesk& w) { return w.minimumFNumber; }
    static int& focusTimeout(LensDesk& w) { return w.focusTimeout; }
    static int& currentProtocol(LensDesk& w) { return w.currentProtocol; }

    // The lens-control state behind the read-outs: the f-number scale, the
    // last reported positions and the flags of an absolute move.
    static QVector<float>& fNumberTable(LensDesk& w) { return w.fNumberTable; }
    static int& currentZoom(LensDesk& w) { return w.currentZoom; }
    static int& currentFocus(LensDesk& w) { return w.currentFocus; }
    static float& currentIris(LensDesk& w) { return w.currentIris; }
    static bool& afEnabled(LensDesk& w) { return w.afEnabled; }
    static bool& zoomDoneFlag(LensDesk& w) { return w.zoomDoneFlag; }
    static bool& focusDoneFlag(LensDesk& w) { return w.focusDoneFlag; }
    static bool& irisDoneFlag(LensDesk& w) { return w.irisDoneFlag; }

    // The settings stores the window opened, so that a test reads and seeds
    // exactly the store the window uses.
    static QSettings*& mainSettings(LensDesk& w) { return w.mainSettings; }
    static QSettings*& profileSettings(LensDesk& w) { return w.profileSettings; }
};
