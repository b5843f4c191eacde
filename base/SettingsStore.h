#pragma once

#include <QString>
#include <QVariant>

class QObject;
class QSettings;

// The per-user settings store: on Windows the registry key
// HKEY_CURRENT_USER\Software\ORVO\KXController (profiles in its subkey
// "Profiles"); elsewhere the same keys in the user's native store for
// organisation "ORVO", application "KXController", profiles in the group
// "Profiles". Nothing is ever written to the working directory.
//
// The panel ends its process at once when the window closes, so every write
// must be written through (QSettings::sync) when it is made.
namespace SettingsStore {

constexpr const char* LastControllerAddress = "LAST_CKX_IP";
constexpr const char* LastControllerAddressDefault = "192.168.";
constexpr const char* ZoomCaptionsSwapped = "LAST_ZOOM_SW";
constexpr const char* LastFirmwareFile = "LAST_FW_FILE";

QSettings* openMain(QObject* parent);
QSettings* openProfiles(QObject* parent);

// Stores `value` under `key` and writes the store through at once.
void writeThrough(QSettings* settings, const QString& key, const QVariant& value);

} // namespace SettingsStore
