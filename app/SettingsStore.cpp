#include "app/SettingsStore.h"

#include <QSettings>

namespace SettingsStore {

namespace {
constexpr const char* Organisation = "ORVO";
constexpr const char* Application = "KXController";
constexpr const char* ProfilesGroup = "Profiles";
} // namespace

QSettings* openMain(QObject* parent)
{
#ifdef Q_OS_WIN
    auto* settings = new QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\ORVO\\KXController"),
                                   QSettings::NativeFormat, parent);
#else
    auto* settings = new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                   QLatin1String(Organisation), QLatin1String(Application), parent);
#endif
    settings->sync();
    return settings;
}

QSettings* openProfiles(QObject* parent)
{
#ifdef Q_OS_WIN
    auto* settings = new QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\ORVO\\KXController\\Profiles"),
                                   QSettings::NativeFormat, parent);
#else
    auto* settings = new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                   QLatin1String(Organisation), QLatin1String(Application), parent);
    settings->beginGroup(QLatin1String(ProfilesGroup));
#endif
    settings->sync();
    return settings;
}

void writeThrough(QSettings* settings, const QString& key, const QVariant& value)
{
    settings->setValue(key, value);
    settings->sync();
}

} // namespace SettingsStore
