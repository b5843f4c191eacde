#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <utility>

class QObject;

// The per-user settings store: on Windows the registry key
// HKEY_CURRENT_USER\Software\ORVO\KXController (profiles in its subkey
// "Profiles"); elsewhere the same keys in the user's native store for
// organisation "ORVO", application "KXController", profiles in the group
// "Profiles". Nothing is ever written to the working directory.
//
// The panel ends its process at once when the window closes, so every write
// must be written through (QSettings::sync) when it is made.
namespace SettingsStore {

QSettings* openMain(QObject* parent);
QSettings* openProfiles(QObject* parent);

// Stores `value` under `key` and writes the store through at once.
void writeThrough(QSettings* settings, const QString& key, const QVariant& value);

// One value of a store: its key and what it reads as while the store holds
// nothing under that key, named once.
template <typename T>
class Value
{
public:
    Value(const char* key, T defaultValue)
        : m_key(QLatin1String(key))
        , m_default(std::move(defaultValue))
    { }

    const QString& key() const { return m_key; }

    T read(const QSettings& settings) const
    {
        return settings.value(m_key, QVariant::fromValue(m_default)).template value<T>();
    }

    void write(QSettings& settings, const T& value) const
    {
        writeThrough(&settings, m_key, QVariant::fromValue(value));
    }

private:
    QString m_key;
    T m_default;
};

// The values of the main store. The connect dialog offers the start of a
// private address until the operator has chosen one. The profiles store
// holds one value per named lens position (ProfileText).
inline const Value<QString> LastControllerAddress("LAST_CKX_IP", QStringLiteral("192.168."));
inline const Value<bool> ZoomCaptionsSwapped("LAST_ZOOM_SW", false);
inline const Value<QString> LastFirmwareFile("LAST_FW_FILE", QString());

} // namespace SettingsStore
