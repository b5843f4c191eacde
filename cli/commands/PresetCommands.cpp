// The panel's stored lens positions: preset list, save, recall, delete.

#include "base/SettingsStore.h"
#include "cli/Cli.h"
#include "cli/ControllerSession.h"
#include "cli/JsonVocabulary.h"
#include "lens/ProfileText.h"
#include "lens/RecallPlan.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QScopedPointer>
#include <QSettings>

namespace {

using Kind = ReplyFact::Kind;
using Reason = Output::Reason;

QString tr(const char* text) { return QCoreApplication::translate("Cli", text); }

QJsonValue positionJson(const ProfileText::Position& position)
{
    if (!position.isComplete())
        return QJsonValue();
    return QJsonObject{{QStringLiteral("zoom"), position.zoom},
                       {QStringLiteral("focus"), position.focus},
                       {QStringLiteral("aperture"), JsonVocabulary::fNumber(double(position.iris))}};
}

QString storeProblem(const QSettings& store)
{
    return tr("The preset store %1 cannot be written; check its permissions and the free space.").arg(store.fileName());
}

} // namespace

int Cli::presetList()
{
    QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    QJsonArray json;
    QStringList lines;
    const QStringList keys = profiles->childKeys();
    for (const QString& key : keys) {
        const QString name = ProfileText::nameForKey(key);
        const QString value = ProfileText::storedValue(*profiles, name);
        const ProfileText::Position position = ProfileText::parse(value);
        json.append(QJsonObject{{QStringLiteral("controller"), QJsonValue()},
                                {QStringLiteral("name"), name},
                                {QStringLiteral("complete"), position.isComplete()},
                                {QStringLiteral("position"), positionJson(position)}});
        lines << QStringLiteral("%1\t%2").arg(Output::escaped(name), Output::escaped(ProfileText::describe(value)));
    }
    return finish(json, lines.join(QLatin1Char('\n')));
}

int Cli::presetSave()
{
    const QString name = argument(0);
    const auto check = [&] { return name.isEmpty() ? tr("A preset needs a name.") : QString(); };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        const DeviceRecord& record = session.record();
        // The controller tells its positions unasked after "ver".
        if (!awaitLens(
                session, [&] { return record.zoom && record.focus && record.fNumber; }, &status))
            return status;
        const QString value = ProfileText::format(*record.zoom, *record.focus, *record.fNumber);
        QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
        SettingsStore::writeThrough(profiles.data(), ProfileText::keyForName(name), value);
        if (profiles->status() != QSettings::NoError)
            return failure(Reason::Refused, storeProblem(*profiles));
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("name"), name},
                                  {QStringLiteral("saved"), true},
                                  {QStringLiteral("position"), JsonVocabulary::position(record)}},
                      tr("Saved \"%1\": %2.").arg(Output::escaped(name), ProfileText::describe(value)));
    });
}

int Cli::presetRecall()
{
    const QString name = argument(0);
    ProfileText::Position target;
    const auto check = [&]() -> QString {
        if (name.isEmpty())
            return tr("A preset needs a name.");
        QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
        const QString value = ProfileText::storedValue(*profiles, name);
        if (value == QLatin1String(ProfileText::NoProfile))
            return tr("There is no preset \"%1\"; see lensdesk-cli preset list.").arg(Output::escaped(name));
        target = ProfileText::parse(value);
        if (!target.isComplete())
            return tr("The preset \"%1\" holds \"%2\", not zoom, focus and aperture; save it again.")
                .arg(Output::escaped(name), Output::escaped(value));
        return QString();
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        const DeviceRecord& record = session.record();
        if (!awaitLens(
                session, [&] { return record.zoomWide && record.zoomTele; }, &status))
            return status;
        if (!RecallPlan::fitsLens(target, *record.zoomWide, *record.zoomTele))
            return failure(Reason::Refused,
                           tr("The preset \"%1\" is for a different lens (zoom %2 mm, this lens %3 to %4 mm).")
                               .arg(Output::escaped(name))
                               .arg(target.zoom)
                               .arg(*record.zoomWide)
                               .arg(*record.zoomTele));

        // The panel's recall, step by step. As there, a move that is refused
        // is reported and the steps after it still go, and so do those after
        // a zoom move not confirmed in time.
        for (const RecallPlan::Step& step : RecallPlan(target, record.isPowerZoom()).steps()) {
            session.pause(step.pauseBeforeMs);
            int stepStatus = Done;
            bool unconfirmed = false;
            confirmMove(session, step.command, step.await, limit(step.boundMs), &stepStatus, &unconfirmed);
            if (status == Done)
                status = stepStatus;
            if (unconfirmed && !step.followedIfUnconfirmed)
                return status;
        }
        if (status != Done)
            return status;
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("name"), name},
                                  {QStringLiteral("recalled"), true},
                                  {QStringLiteral("position"), JsonVocabulary::position(record)}},
                      tr("Recalled \"%1\": %2.").arg(Output::escaped(name), JsonVocabulary::positionText(record)));
    });
}

int Cli::presetDelete()
{
    const QString name = argument(0);
    QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    const QString key = ProfileText::keyForName(name);
    if (!profiles->contains(key))
        return usage(tr("There is no preset \"%1\"; see lensdesk-cli preset list.").arg(Output::escaped(name)));
    profiles->remove(key);
    profiles->sync();
    if (profiles->status() != QSettings::NoError)
        return failure(Reason::Refused, storeProblem(*profiles));
    return finish(QJsonObject{{QStringLiteral("controller"), QJsonValue()},
                              {QStringLiteral("name"), name},
                              {QStringLiteral("deleted"), true}},
                  tr("Deleted \"%1\".").arg(Output::escaped(name)));
}
