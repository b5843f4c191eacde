// The commands that drive the lens: move, nudge, stabilizer.

#include "cli/Cli.h"
#include "cli/ControllerSession.h"
#include "cli/JsonVocabulary.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "link/Protocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

using Kind = ReplyFact::Kind;
using Reason = Output::Reason;

// Relative steps beyond this are typing errors, not moves.
constexpr int NudgeLimit = 100000;
// Focus positions are motor counts from the far end; none is this large.
constexpr int LargestFocus = 1000000;
// The controller reports a moving drive's position every bus cycle (tens of
// milliseconds); a drive that has reported nothing for this long stands.
constexpr int SettledQuietMs = 300;
using Protocol::Limits::StabiliserMaximumSeconds;

// An f-number as people write it, "5.6" or "22", within the aperture scale:
// the controller reads plain decimals only (never "1e-05").
bool readFNumber(const QString& text, double* fNumber)
{
    static const QRegularExpression plainDecimal(QStringLiteral("^\\d{1,2}(\\.\\d{1,2})?$"));
    const QVector<float> scale = FNumbers::table();
    *fNumber = text.toDouble();
    return plainDecimal.match(text).hasMatch() && *fNumber >= double(scale.first()) && *fNumber <= double(scale.last());
}

} // namespace

int Cli::move()
{
    int zoom = 0;
    int focus = 0;
    double fNumber = 0;
    const QString zoomText = options().values.value(QStringLiteral("--zoom"));
    const QString focusText = options().values.value(QStringLiteral("--focus"));
    const QString apertureText = options().values.value(QStringLiteral("--aperture"));
    const auto check = [&]() -> QString {
        if (zoomText.isNull() && focusText.isNull() && apertureText.isNull())
            return tr("Say where to move: --zoom MM, --focus COUNT and/or --aperture FNUMBER.");
        if (!zoomText.isNull() && !wholeNumber(zoomText, 1, 65535, &zoom))
            return tr("--zoom takes a focal length in mm, a whole number from 1, for example --zoom 35.");
        if (!focusText.isNull() && !wholeNumber(focusText, 0, LargestFocus, &focus))
            return tr("--focus takes a focus position, a whole number from 0 (the far end), for example --focus 812.");
        if (!apertureText.isNull() && !readFNumber(apertureText, &fNumber))
            return tr("--aperture takes an f-number from 1 to 90 written as a decimal, for example --aperture 5.6.");
        return QString();
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        const DeviceRecord& record = session.record();
        using namespace Protocol::Command;
        const int moveLimit = limit(LensWaits::MoveConfirmTimeoutMs);
        if (!zoomText.isNull()) {
            if (!record.isPowerZoom())
                return failure(Reason::Refused,
                               tr("The %1 has no power zoom; leave out --zoom.").arg(Output::escaped(record.product)));
            if (!confirmMove(session, QString::fromLatin1(SetZoom).arg(zoom), MoveConfirmation::Await::ZoomSettled,
                             moveLimit, &status))
                return status;
        }
        if (!focusText.isNull()
            && !sendAndAwait(session, QString::fromLatin1(SetFocus).arg(focus), {Kind::FocusDone}, moveLimit, &status))
            return status;
        if (!apertureText.isNull()
            && !sendAndAwait(session, QString::fromLatin1(SetAperture).arg(FNumbers::shortest(fNumber)),
                             {Kind::IrisDone}, moveLimit, &status))
            return status;
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("moved"), true},
                                  {QStringLiteral("position"), JsonVocabulary::position(record)}},
                      JsonVocabulary::positionText(record));
    });
}

int Cli::nudge()
{
    using namespace Protocol::Command;
    struct Axis
    {
        const char* name;
        const char* word;
        Kind position;
    };
    static const Axis axes[] = {
        {"zoom", MoveZoom, Kind::ZoomPosition},
        {"focus", MoveFocus, Kind::FocusPosition},
        {"aperture", MoveAperture, Kind::IrisPosition},
    };
    const QString axisName = argument(1);
    const Axis* axis = nullptr;
    for (const Axis& candidate : axes) {
        if (axisName == QLatin1String(candidate.name))
            axis = &candidate;
    }
    int steps = 0;
    const auto check = [&]() -> QString {
        if (!axis)
            return tr("\"%1\" is no axis; nudge zoom, focus or aperture.").arg(Output::escaped(axisName));
        if (!wholeNumber(argument(2), -NudgeLimit, NudgeLimit, &steps) || steps == 0)
            return tr("STEPS is a whole number from %1 to %2 other than 0, negative for the other way.")
                .arg(-NudgeLimit)
                .arg(NudgeLimit);
        return QString();
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        const DeviceRecord& record = session.record();
        // The lens reports end with a summary of the positions, which would
        // pass for the end of the move.
        if (!awaitLens(
                session, [&] { return record.lensReported(); }, &status))
            return status;
        if (axis->position == Kind::ZoomPosition && !record.isPowerZoom())
            return failure(
                Reason::Refused,
                tr("The %1 has no power zoom; nudge focus or aperture.").arg(Output::escaped(record.product)));
        const int summaries = record.count(Kind::Positions);
        const QString command = QString::fromLatin1(StepFormat).arg(QLatin1String(axis->word)).arg(steps);
        QElapsedTimer clock;
        clock.start();
        const int moveLimit = limit(LensWaits::MoveConfirmTimeoutMs);
        if (!sendAndAwait(session, command, {axis->position}, moveLimit, &status))
            return status;
        // The first report comes while the lens still moves. It has arrived
        // when the controller sums the move up ("Current="), or when the
        // reports stop.
        for (;;) {
            const int reports = record.count(axis->position);
            const bool more = session.waitUntil(
                [&] { return record.count(Kind::Positions) > summaries || record.count(axis->position) > reports; },
                SettledQuietMs);
            if (record.count(Kind::Positions) > summaries || !more || isStopping())
                break;
            if (clock.elapsed() > moveLimit)
                return failure(
                    Reason::Timeout,
                    tr("The lens at %1 was still moving after %2 s.").arg(session.address()).arg(moveLimit / 1000.0));
        }
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("axis"), axisName},
                                  {QStringLiteral("steps"), steps},
                                  {QStringLiteral("nudged"), true},
                                  {QStringLiteral("position"), JsonVocabulary::position(record)}},
                      JsonVocabulary::positionText(record));
    });
}

int Cli::stabilizer()
{
    int seconds = 0;
    const auto check = [&]() -> QString {
        return wholeNumber(argument(1), 0, StabiliserMaximumSeconds, &seconds)
            ? QString()
            : tr("SECONDS is a whole number from 0 (off) to 60.");
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        const DeviceRecord& record = session.record();
        if (!session.link().verdict().stabiliserSwitch)
            return failure(Reason::Refused,
                           tr("Firmware %1 cannot switch the stabiliser; update the firmware first.")
                               .arg(Output::escaped(record.firmware.trimmed())));
        // The lens reports tell the stabiliser's state: they would pass for
        // the answer.
        if (!awaitLens(
                session, [&] { return record.stabiliser && record.stabiliserActive; }, &status))
            return status;
        if (!*record.stabiliser)
            return failure(Reason::Refused,
                           tr("The lens on the controller at %1 has no image stabiliser.").arg(session.address()));
        const QString command = QString::fromLatin1(Protocol::Command::EnableStabiliser).arg(seconds);
        if (!sendAndAwait(session, command, {Kind::StabiliserActive}, limit(AnswersLimitMs), &status))
            return status;
        const bool wanted = seconds > 0;
        if (*record.stabiliserActive != wanted)
            return failure(Reason::Refused,
                           tr("The controller at %1 answered \"%2\" with stabilisation %3; try again.")
                               .arg(session.address(), command, *record.stabiliserActive ? tr("on") : tr("off")));
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("seconds"), seconds},
                                  {QStringLiteral("stabilizerActive"), wanted}},
                      wanted ? tr("Stabilisation on for %1 s.").arg(seconds) : tr("Stabilisation off."));
    });
}
