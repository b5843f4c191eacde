#include "base/SettingsStore.h"

#include <QSettings>

namespace SettingsStore {

namespace {
constexpr const char* Organisation = "ORVO";
constexpr const char* Application = "KXController";
constexpr const char* ProfilesGroup = "Profiles";

// The panel's store, or its group `group`: on Windows the registry key of
// that name, elsewhere the user's native store.
QSettings* openStore(const QString& group, QObject* parent)
{
#ifdef Q_OS_WIN
    QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\ORVO\\KXController");
    if (!group.isEmpty())
        key += QLatin1Char('\\') + group;
    auto* settings = new QSettings(key, QSettings::NativeFormat, parent);
#else
    auto* settings = new QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(Organisation),
                                   QLatin1String(Application), parent);
    if (!group.isEmpty())
        settings->beginGroup(group);
#endif
    settings->sync();
    return settings;
}
} // namespace

QSettings* openMain(QObject* parent) { return openStore(QString(), parent); }

QSettings* openProfiles(QObject* parent) { return openStore(QLatin1String(ProfilesGroup), parent); }

void writeThrough(QSettings* settings, const QString& key, const QVariant& value)
{
    settings->setValue(key, value);
    settings->sync();
}

} // namespace SettingsStore
