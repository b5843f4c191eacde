#include "sim/LensMotion.h"

#include "link/Protocol.h"
#include "sim/SimCommand.h"

#include <cmath>

namespace {

namespace Cmd = Protocol::Command;
namespace Ans = Protocol::Answer;

constexpr int TickMs = 40;
constexpr double ZoomUnitMm = 0.1;
constexpr double ZoomTravelSeconds = 2.5;
constexpr double FocusTravelSeconds = 1.2;
constexpr double IrisStopsPerSecond = 25;
// A stream of relative moves may run ahead of the drive by this much
// travel time, so a released button stops the lens promptly.
constexpr double RelativeBacklogSeconds = 0.25;
constexpr qint64 MaxStep = 1000000;

bool is(const SimCommand& command, const char* entry) { return command.word == SimCommand::wordOf(entry); }

} // namespace

LensMotion::LensMotion(const LensSpec& lens, bool powerZoom, bool confirmHeldAfterZoom, QObject* parent)
    : QObject(parent)
    , m_lens(lens)
    , m_powerZoom(powerZoom)
    , m_confirmHeldAfterZoom(confirmHeldAfterZoom)
{
    Axis& zoom = m_axes[ZoomAxis];
    zoom.low = lens.wideMm;
    zoom.high = lens.teleMm;
    zoom.speed = qMax(1.0, (lens.teleMm - lens.wideMm) / ZoomTravelSeconds);
    zoom.position = zoom.target = lens.wideMm;

    Axis& focus = m_axes[FocusAxis];
    focus.low = qMin(lens.focusFar, lens.focusNear());
    focus.high = qMax(lens.focusFar, lens.focusNear());
    focus.speed = qMax(1.0, lens.focusMax / FocusTravelSeconds);
    focus.position = focus.target = focus.low + std::round(lens.focusMax / 2.0);

    Axis& iris = m_axes[IrisAxis];
    iris.low = lens.hasAperture() ? LensCatalogue::nearestStop(lens.openFAtWide) : 0;
    iris.high = lens.hasAperture() ? LensCatalogue::nearestStop(lens.closedF) : 0;
    iris.speed = IrisStopsPerSecond;
    iris.position = iris.target = openStop();

    m_tick.setInterval(TickMs);
    connect(&m_tick, &QTimer::timeout, this, &LensMotion::onTick);
    m_stabiliserTimer.setSingleShot(true);
    connect(&m_stabiliserTimer, &QTimer::timeout, this, [this] {
        m_stabiliserActive = false;
        emit report(m_peer, QByteArray(Ans::StabiliserActive) + "0");
    });
    m_clock.start();
}

bool LensMotion::handle(const SimCommand& command, const Peer& from, int focusTimeoutMs, QByteArray* answer)
{
    const bool zoomWord = is(command, Cmd::MoveZoom) || is(command, Cmd::SearchZoomNarrow)
        || is(command, Cmd::SearchZoomWide) || is(command, Cmd::SetZoom);
    const bool focusWord = is(command, Cmd::MoveFocus) || is(command, Cmd::SearchFocusNear)
        || is(command, Cmd::SearchFocusFar) || is(command, Cmd::SetFocus) || is(command, Cmd::SetFocusRecall)
        || is(command, Cmd::StopFocus) || is(command, Cmd::FocusReInit);
    const bool irisWord = is(command, Cmd::MoveAperture) || is(command, Cmd::SearchIrisOpen)
        || is(command, Cmd::SearchIrisClose) || is(command, Cmd::SetAperture) || is(command, Cmd::OpenAperture);
    const bool stabiliserWord = is(command, Cmd::EnableStabiliser);
    if (!zoomWord && !focusWord && !irisWord && !stabiliserWord)
        return false;
    if (!m_lens.present) {
        *answer = Ans::NoLens;
        return true;
    }
    m_peer = from;
    if (zoomWord)
        *answer = handleZoom(command);
    else if (focusWord)
        *answer = handleFocus(command, focusTimeoutMs);
    else if (irisWord)
        *answer = handleIris(command);
    else
        *answer = handleStabiliser(command);
    return true;
}

QByteArray LensMotion::handleZoom(const SimCommand& command)
{
    if (is(command, Cmd::SetZoom)) {
        double mm = 0;
        if (!command.realValue(&mm))
            return SimAnswer::errorParam(QStringLiteral("zoom position is not a number"));
        if (!m_powerZoom)
            return SimAnswer::errorParam(QStringLiteral("zoom is turned by hand on this model"));
        if (mm < m_lens.wideMm || mm > m_lens.teleMm)
            return SimAnswer::errorRange(
                QStringLiteral("zoom %1 mm outside %2-%3 mm").arg(number(mm)).arg(m_lens.wideMm).arg(m_lens.teleMm));
        moveAbsolute(ZoomAxis, mm, Ending::Done);
        return {};
    }
    qint64 steps = 0;
    if (!command.intValue(&steps))
        return SimAnswer::errorParam(QStringLiteral("zoom step is not a number"));
    // Without power zoom the drive does not exist: the words are ignored,
    // so a limit search simply sees the zoom stand still.
    if (!m_powerZoom)
        return {};
    steps = qBound(-MaxStep, steps, MaxStep);
    if (is(command, Cmd::MoveZoom))
        moveRelative(ZoomAxis, -steps * ZoomUnitMm);
    else if (steps < 0)
        return SimAnswer::errorParam(QStringLiteral("search step must not be negative"));
    else
        moveRelative(ZoomAxis, (is(command, Cmd::SearchZoomNarrow) ? steps : -steps) * ZoomUnitMm);
    return {};
}

QByteArray LensMotion::handleFocus(const SimCommand& command, int focusTimeoutMs)
{
    Axis& focus = m_axes[FocusAxis];
    if (is(command, Cmd::StopFocus)) {
        if (focus.moving) {
            focus.moving = false;
            focus.waypoints.clear();
            focus.target = focus.position;
            focus.positionDue = true;
            // A stopped re-initialisation still reports the range it found.
            focus.endingDue = focus.ending == Ending::RangeReport || (focus.ending == Ending::Done && m_confirmStop);
            m_currentDue = true;
            startTicking();
        }
        return {};
    }
    if (!m_lens.autoFocus)
        return SimAnswer::errorFocus(QStringLiteral("af switch of the lens is at mf"));
    if (is(command, Cmd::FocusReInit)) {
        // The drive runs to the far end and back to find its range again.
        const double back = focus.position;
        moveAbsolute(FocusAxis, m_lens.focusFar, Ending::RangeReport);
        focus.waypoints = {back};
        m_focusTimeout = 0;
        return {};
    }
    qint64 value = 0;
    if (!command.intValue(&value))
        return SimAnswer::errorParam(QStringLiteral("focus value is not a whole number"));
    if (is(command, Cmd::SetFocus) || is(command, Cmd::SetFocusRecall)) {
        if (value < focus.low || value > focus.high)
            return SimAnswer::errorRange(
                QStringLiteral("focus %1 outside %2-%3").arg(value).arg(focus.low).arg(focus.high));
        moveAbsolute(FocusAxis, double(value), Ending::Done);
        m_focusTimeout = focusTimeoutMs;
        return {};
    }
    value = qBound(-MaxStep, value, MaxStep);
    if (is(command, Cmd::MoveFocus))
        moveRelative(FocusAxis, double(value));
    else if (value < 0)
        return SimAnswer::errorParam(QStringLiteral("search step must not be negative"));
    else {
        // Towards the near end: up the counts, unless they fall towards it.
        const double nearward = m_lens.focusDescending ? -double(value) : double(value);
        moveRelative(FocusAxis, is(command, Cmd::SearchFocusNear) ? nearward : -nearward);
    }
    return {};
}

QByteArray LensMotion::handleIris(const SimCommand& command)
{
    if (!m_lens.hasAperture())
        return SimAnswer::errorParam(QStringLiteral("the lens reports no aperture"));
    if (is(command, Cmd::OpenAperture)) {
        moveAbsolute(IrisAxis, openStop(), Ending::Done);
        return {};
    }
    if (is(command, Cmd::SetAperture)) {
        double f = 0;
        if (!command.realValue(&f))
            return SimAnswer::errorParam(QStringLiteral("f-number is not a number"));
        // Tolerance of half a third stop around the lens's range.
        if (f < m_lens.openFAtWide * 0.94 || f > m_lens.closedF * 1.06)
            return SimAnswer::errorRange(QStringLiteral("f/%1 outside f/%2-%3")
                                             .arg(number(f), number(m_lens.openFAtWide), number(m_lens.closedF)));
        const double stop = qBound(openStop(), double(LensCatalogue::nearestStop(f)), closedStop());
        moveAbsolute(IrisAxis, stop, Ending::Done);
        return {};
    }
    qint64 stops = 0;
    if (!command.intValue(&stops))
        return SimAnswer::errorParam(QStringLiteral("aperture step is not a whole number"));
    stops = qBound(-MaxStep, stops, MaxStep);
    // A higher index is a smaller aperture: opening lowers it.
    if (is(command, Cmd::MoveAperture))
        moveRelative(IrisAxis, -double(stops));
    else if (stops < 0)
        return SimAnswer::errorParam(QStringLiteral("search step must not be negative"));
    else
        moveRelative(IrisAxis, is(command, Cmd::SearchIrisOpen) ? -double(stops) : double(stops));
    return {};
}

QByteArray LensMotion::handleStabiliser(const SimCommand& command)
{
    qint64 seconds = 0;
    if (!command.intValue(&seconds))
        return SimAnswer::errorParam(QStringLiteral("stabiliser time is not a whole number"));
    if (!m_lens.stabiliser)
        return SimAnswer::errorParam(QStringLiteral("the lens has no stabiliser"));
    if (seconds < 0 || seconds > 60)
        return SimAnswer::errorRange(QStringLiteral("stabiliser time outside 0-60 s"));
    m_stabiliserActive = seconds > 0;
    if (m_stabiliserActive)
        m_stabiliserTimer.start(int(seconds) * 1000);
    else
        m_stabiliserTimer.stop();
    return QByteArray(Ans::StabiliserActive) + (m_stabiliserActive ? "1" : "0");
}

void LensMotion::moveRelative(AxisIndex index, double delta)
{
    Axis& axis = m_axes[index];
    const double from = axis.moving && axis.ending == Ending::None ? axis.target : axis.position;
    const double reach = qMax(std::fabs(delta), axis.speed * RelativeBacklogSeconds);
    const double low = index == IrisAxis ? openStop() : axis.low;
    double target = qBound(low, from + delta, axis.high);
    target = qBound(axis.position - reach, target, axis.position + reach);
    axis.waypoints.clear();
    axis.ending = Ending::None;
    axis.target = target;
    axis.moving = target != axis.position;
    // A step into an end stop still answers with the position, so a limit
    // search sees the drive stand still.
    axis.positionDue = true;
    m_currentDue = m_currentDue || !axis.moving;
    startTicking();
}

void LensMotion::moveAbsolute(AxisIndex index, double target, Ending ending)
{
    Axis& axis = m_axes[index];
    axis.waypoints.clear();
    axis.target = target;
    axis.ending = ending;
    axis.moving = true;
    axis.startedMs = m_clock.elapsed();
    startTicking();
}

void LensMotion::startTicking()
{
    if (!m_tick.isActive()) {
        m_lastTick = m_clock.elapsed();
        m_tick.start();
    }
}

void LensMotion::onTick()
{
    const qint64 now = m_clock.elapsed();
    const double seconds = (now - m_lastTick) / 1000.0;
    m_lastTick = now;

    for (int i = 0; i < AxisCount; ++i) {
        Axis& axis = m_axes[i];
        if (!axis.moving)
            continue;
        const double step = axis.speed * seconds;
        const double distance = axis.target - axis.position;
        if (std::fabs(distance) > step) {
            axis.position += distance > 0 ? step : -step;
        } else {
            axis.position = axis.target;
            if (!axis.waypoints.isEmpty()) {
                axis.target = axis.waypoints.takeFirst();
            } else {
                axis.moving = false;
                axis.endingDue =
                    axis.ending != Ending::None && !(i == FocusAxis && axis.ending == Ending::Done && !m_confirmFocus);
                m_currentDue = true;
                if (i == ZoomAxis && axis.ending == Ending::Done && m_confirmHeldAfterZoom)
                    m_focusSettledDue = m_irisSettledDue = true;
            }
        }
        if (!axis.moving || positionReport(AxisIndex(i)) != axis.lastReported)
            axis.positionDue = true;
    }
    keepIrisWithinOpenLimit();

    Axis& focus = m_axes[FocusAxis];
    if (focus.moving && focus.ending == Ending::Done && m_focusTimeout > 0 && now - focus.startedMs > m_focusTimeout) {
        focus.moving = false;
        focus.target = focus.position;
        focus.ending = Ending::None;
        m_focusErrorDue = true;
        m_currentDue = true;
    }

    if (!sendOneReport()) {
        bool moving = false;
        for (const Axis& axis : m_axes)
            moving = moving || axis.moving;
        if (!moving)
            m_tick.stop();
    }
}

void LensMotion::keepIrisWithinOpenLimit()
{
    // A variable-aperture zoom cannot stay at f/3.5 when it goes to 55 mm.
    Axis& iris = m_axes[IrisAxis];
    if (!m_lens.hasAperture() || iris.position >= openStop())
        return;
    iris.position = qMax(iris.position, openStop());
    iris.target = qMax(iris.target, openStop());
    iris.positionDue = true;
}

bool LensMotion::sendOneReport()
{
    if (m_focusErrorDue) {
        m_focusErrorDue = false;
        emit report(m_peer, SimAnswer::errorFocus(QStringLiteral("focus time-out")));
        return true;
    }
    for (int n = 0; n < AxisCount; ++n) {
        const int i = (m_nextReportAxis + n) % AxisCount;
        Axis& axis = m_axes[i];
        if (i == IrisAxis && !m_lens.hasAperture())
            axis.positionDue = axis.endingDue = false;
        if (axis.positionDue) {
            axis.positionDue = false;
            axis.lastReported = positionReport(AxisIndex(i));
            m_nextReportAxis = (i + 1) % AxisCount;
            emit report(m_peer, axis.lastReported);
            return true;
        }
        if (axis.endingDue) {
            axis.endingDue = false;
            m_nextReportAxis = (i + 1) % AxisCount;
            emit report(m_peer, endingReport(AxisIndex(i)));
            return true;
        }
    }
    // A focus or iris move of its own ends with its own report.
    if (m_focusSettledDue) {
        m_focusSettledDue = false;
        if (!m_axes[FocusAxis].moving) {
            emit report(m_peer, Ans::FocusDone);
            return true;
        }
    }
    if (m_irisSettledDue) {
        m_irisSettledDue = false;
        if (!m_axes[IrisAxis].moving) {
            emit report(m_peer, Ans::IrisDone);
            return true;
        }
    }
    bool moving = false;
    for (const Axis& axis : m_axes)
        moving = moving || axis.moving;
    if (m_currentDue && !moving) {
        m_currentDue = false;
        if (m_moveSummary) {
            emit report(m_peer, currentReport());
            return true;
        }
    }
    return false;
}

void LensMotion::stopAll()
{
    for (Axis& axis : m_axes) {
        axis.moving = false;
        axis.target = axis.position;
        axis.waypoints.clear();
        axis.positionDue = axis.endingDue = false;
    }
    m_currentDue = m_focusErrorDue = false;
    m_focusSettledDue = m_irisSettledDue = false;
    m_tick.stop();
    m_stabiliserActive = false;
    m_stabiliserTimer.stop();
}

double LensMotion::openStop() const
{
    if (!m_lens.hasAperture())
        return 0;
    const double wideStop = LensCatalogue::nearestStop(m_lens.openFAtWide);
    const double teleStop = LensCatalogue::nearestStop(m_lens.openFAtTele);
    if (m_lens.teleMm <= m_lens.wideMm)
        return wideStop;
    const double share = (m_axes[ZoomAxis].position - m_lens.wideMm) / (m_lens.teleMm - m_lens.wideMm);
    return std::round(wideStop + share * (teleStop - wideStop));
}

double LensMotion::closedStop() const { return m_axes[IrisAxis].high; }

QByteArray LensMotion::positionReport(AxisIndex index) const
{
    const double position = m_axes[index].position;
    switch (index) {
    case ZoomAxis:
        return QByteArray(Ans::Zoom) + '=' + QByteArray::number(qRound(position));
    case FocusAxis:
        return QByteArray(Ans::Focus) + '=' + QByteArray::number(qRound(position));
    default:
        return QByteArray(Ans::Iris) + '=' + number(LensCatalogue::fNumberScale().at(qRound(position))).toLatin1();
    }
}

QByteArray LensMotion::endingReport(AxisIndex index) const
{
    if (index == FocusAxis && m_axes[FocusAxis].ending == Ending::RangeReport)
        return focusRangeReport();
    switch (index) {
    case ZoomAxis:
        return Ans::ZoomDone;
    case FocusAxis:
        return Ans::FocusDone;
    default:
        return Ans::IrisDone;
    }
}

QByteArray LensMotion::focusRangeReport() const
{
    return QByteArray(Ans::FocusRangeKey) + QByteArray::number(m_lens.focusFar) + ','
        + QByteArray::number(m_lens.focusNear());
}

QByteArray LensMotion::currentReport() const
{
    QByteArray text = QByteArray(Ans::PositionsKey) + QByteArray::number(qRound(m_axes[ZoomAxis].position)) + ','
        + QByteArray::number(qRound(m_axes[FocusAxis].position));
    // A lens without aperture contacts has no f-number to report.
    if (m_lens.hasAperture())
        text += ',' + number(LensCatalogue::fNumberScale().at(qRound(m_axes[IrisAxis].position))).toLatin1();
    return text;
}

QList<QByteArray> LensMotion::lensReports() const
{
    if (!m_lens.present)
        return {Ans::NoLens};
    const auto flag = [](bool on) { return QByteArray(on ? "1" : "0"); };
    return {
        QByteArray(Ans::LensText) + m_lens.description.toLatin1(),
        // The aperture range before the zoom range: the panel builds its
        // lens caption from both when the zoom range arrives.
        QByteArray(Ans::ApertureRangeKey) + number(m_lens.openFAtWide).toLatin1() + ','
            + number(m_lens.closedF).toLatin1(),
        QByteArray(Ans::ZoomRangeKey) + QByteArray::number(m_lens.wideMm) + ',' + QByteArray::number(m_lens.teleMm),
        focusRangeReport(),
        QByteArray(Ans::AutoFocus) + flag(m_lens.autoFocus),
        QByteArray(Ans::Stabiliser) + flag(m_lens.stabiliser),
        QByteArray(Ans::StabiliserActive) + flag(m_stabiliserActive),
        currentReport(),
    };
}

QByteArray LensMotion::pingAnswer() const
{
    return QByteArray(Protocol::Answer::AutoFocus) + (m_lens.present && m_lens.autoFocus ? "1" : "0");
}

QString LensMotion::number(double value) { return QString::number(value, 'g', 6); }
