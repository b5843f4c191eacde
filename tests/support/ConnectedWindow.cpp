#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"

#include "lens/FNumbers.h"
#include "lens/zoomWorker.h"
#include "link/pingWorker.h"

#include <QLineEdit>
#include <QTest>

namespace {
// An identification over loopback takes a few hundred milliseconds; the
// panel itself gives up after six seconds.
constexpr int IdentifyWaitMs = 5000;
} // namespace

ConnectedWindow::ConnectedWindow()
    : m_window(std::make_unique<LensDesk>())
{
    LensDeskTestAccess::controllerAddress(*m_window) = m_controller.address();
    LensDeskTestAccess::flushAddressResolutionCache(*m_window) = [this] {
        ++m_flushes;
        return 0;
    };
}

bool ConnectedWindow::identify(const QString& identification)
{
    m_controller.answer(QStringLiteral("ver"), {identification});
    m_window->isORVOProduct(m_controller.address());
    return QTest::qWaitFor([this] { return LensDeskTestAccess::livenessMonitor(*m_window) != nullptr; },
                           IdentifyWaitMs);
}

bool ConnectedWindow::stage(const QString& product)
{
    LensDesk& w = *m_window;
    LensDeskTestAccess::productName(w) = product;
    LensDeskTestAccess::afEnabled(w) = true;
    LensDeskTestAccess::fNumberTable(w) = FNumbers::table();
    LensDeskTestAccess::motionWorker(w) =
        new zoomWorker(LensDeskTestAccess::controllerAddress(w), LensDeskTestAccess::commandSocket(w), &w);
    LensDeskTestAccess::motionWorker(w)->start();
    LensDeskTestAccess::livenessMonitor(w) =
        new pingWorker(LensDeskTestAccess::controllerAddress(w), LensDeskTestAccess::commandSocket(w), &w);
    w.setLensControlsEnabled(true);
    w.findChild<QLineEdit*>(QStringLiteral("focusVal"))->setText(QStringLiteral("0"));
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}
