#include "ConnectedWindow.h"

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
    m_window->controllerAddress = m_controller.address();
    m_window->flushAddressResolutionCache = [this] {
        ++m_flushes;
        return 0;
    };
}

bool ConnectedWindow::identify(const QString& identification)
{
    m_controller.answer(QStringLiteral("ver"), {identification});
    m_window->isORVOProduct(m_controller.address());
    return QTest::qWaitFor([this] { return m_window->livenessMonitor != nullptr; }, IdentifyWaitMs);
}

bool ConnectedWindow::stage(const QString& product)
{
    LensDesk& w = *m_window;
    w.productName = product;
    w.afEnabled = true;
    w.fNumberTable = FNumbers::table();
    w.motionWorker = new zoomWorker(w.controllerAddress, w.commandSocket, &w);
    w.motionWorker->start();
    w.livenessMonitor = new pingWorker(w.controllerAddress, w.commandSocket, &w);
    w.setLensControlsEnabled(true);
    w.focusVal->setText(QStringLiteral("0"));
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}
