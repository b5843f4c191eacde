#include "ConnectedWindow.h"
#include "LensDeskTestAccess.h"
#include "Named.h"
#include "TestWaits.h"

#include "base/SettingsStore.h"
#include "lens/ProfileText.h"
#include "link/pingWorker.h"

#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

namespace {
const QString Ping = QStringLiteral("ping");
const QString AutofocusOn = QStringLiteral("AF=1");
} // namespace

ConnectedWindow::ConnectedWindow()
    : m_window(std::make_unique<LensDesk>())
    , m_settings(SettingsStore::openMain(nullptr))
    , m_profiles(SettingsStore::openProfiles(nullptr))
{
    LensDeskTestAccess::aimAt(*m_window, m_controller.address());
    LensDeskTestAccess::replaceAddressCacheFlush(*m_window, [this] {
        ++m_flushes;
        return 0;
    });
    m_controller.answer(Ping, {AutofocusOn});
}

ConnectedWindow::~ConnectedWindow() = default;

quint16 ConnectedWindow::panelPort() const { return LensDeskTestAccess::commandSocket(*m_window)->localPort(); }

bool ConnectedWindow::identify(const QString& identification)
{
    const QPointer<const pingWorker> before = LensDeskTestAccess::livenessMonitor(*m_window);
    const bool hadOne = before;
    m_controller.answer(QStringLiteral("ver"), {identification});
    m_window->isORVOProduct(m_controller.address());
    // The identification handling has run to its end once the wait looks
    // again: it runs inside the reply handling, which the wait only enters.
    return QTest::qWaitFor(
        [this, &before, hadOne] {
            return LensDeskTestAccess::livenessMonitor(*m_window) != nullptr && (!hadOne || before.isNull());
        },
        TestWaits::identify());
}

bool ConnectedWindow::stage(const QString& product)
{
    if (!identify(product + QStringLiteral("=1.9.0")) || !report({AutofocusOn.toLatin1()}))
        return false;
    LensDesk& w = *m_window;
    // As a lens summary does once the lens's reports are in.
    w.setLensControlsEnabled(true);
    named<QLineEdit>(w, "focusVal")->setText(QStringLiteral("0"));
    w.show();
    if (!QTest::qWaitForWindowExposed(&w) || !m_controller.awaitReceived())
        return false;
    m_controller.clear();
    return true;
}

bool ConnectedWindow::report(const QList<QByteArray>& reports)
{
    for (const QByteArray& datagram : reports)
        m_controller.sendTo(panelPort(), datagram);
    const int marker = ++m_marker;
    m_controller.sendTo(panelPort(), "T=" + QByteArray::number(marker));
    return QTest::qWaitFor([this, marker] { return LensDeskTestAccess::focusTimeout(*m_window) == marker; },
                           TestWaits::reply());
}

bool ConnectedWindow::stopAnsweringPings()
{
    m_controller.forget(Ping);
    // Every ping that arrived before was answered at once; those answers
    // reach the panel before the marker of an empty report.
    return m_controller.awaitReceived() && report({});
}

bool ConnectedWindow::leaveMovesUnconfirmed()
{
    LensDesk& w = *m_window;
    if (!LensDeskTestAccess::livenessMonitor(w))
        return false;
    // A set point the lens can take: its zoom at the wide end reported (0
    // while none was).
    const QString name = QStringLiteral("moves left unconfirmed");
    const int zoom = LensDeskTestAccess::zoomRangeWide(w);
    SettingsStore::writeThrough(m_profiles.get(), ProfileText::keyForName(name), ProfileText::format(zoom, 500, 4.0f));
    // The zoom move ends; the focus move is cancelled as soon as it is under way.
    const QString zoomCommand = QStringLiteral("setZoom=%1").arg(zoom);
    m_controller.answer(zoomCommand, {QStringLiteral("zoomDone")});
    bool cancelled = false;
    const QMetaObject::Connection cancelFocus = QObject::connect(
        &m_controller, &ScriptedController::commandReceived, &m_controller, [this, &cancelled](const QString& text) {
            if (text.startsWith(QLatin1String("setFocus2=")))
                QTimer::singleShot(0, &m_controller,
                                   [this, &cancelled] { cancelled = pressCancelOfProgress(m_window.get()); });
        });
    w.loadSetPointNow(name);
    QObject::disconnect(cancelFocus);
    m_controller.forget(zoomCommand);
    m_profiles->remove(ProfileText::keyForName(name));
    m_profiles->sync();
    const bool received = m_controller.awaitReceived();
    m_controller.clear();
    return cancelled && received;
}
