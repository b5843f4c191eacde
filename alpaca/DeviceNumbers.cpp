#include "alpaca/DeviceNumbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {
const QString DevicesKey = QStringLiteral("devices");
const QString UniqueIdKey = QStringLiteral("UniqueID");
const QString NumberKey = QStringLiteral("DeviceNumber");
const QString AddressKey = QStringLiteral("Address");
// Far more controllers than one network holds; a larger number in the file
// is not ours.
constexpr int HighestNumber = 9999;
} // namespace

DeviceNumbers::DeviceNumbers(const QString& path)
    : m_path(path)
{ }

QString DeviceNumbers::defaultPath()
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return stateHome + QStringLiteral("/lensdesk/alpaca-devices.json");
}

QString DeviceNumbers::uniqueIdOf(const QString& mac, const QString& serial)
{
    const QString macText = mac.trimmed();
    bool allZero = true;
    for (const QChar c : macText) {
        if (c.isLetterOrNumber() && c != QLatin1Char('0'))
            allZero = false;
    }
    if (!macText.isEmpty() && !allZero)
        return QStringLiteral("lensdesk-mac-") + macText;
    if (!serial.trimmed().isEmpty())
        return QStringLiteral("lensdesk-sn-") + serial.trimmed();
    return QString();
}

bool DeviceNumbers::load(QString* warning)
{
    m_entries.clear();
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *warning = tr("Cannot read the device numbers in %1: %2").arg(m_path, file.errorString());
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *warning = tr("The device numbers in %1 are damaged; they are written anew.").arg(m_path);
        return false;
    }
    for (const QJsonValue& value : document.object().value(DevicesKey).toArray()) {
        const QJsonObject object = value.toObject();
        const QString uniqueId = object.value(UniqueIdKey).toString();
        const int number = object.value(NumberKey).toInt(-1);
        if (uniqueId.isEmpty() || number < 0 || number > HighestNumber || knownNumber(uniqueId))
            continue;
        if (!holdsNumber(number))
            m_entries.append({uniqueId, number, object.value(AddressKey).toString()});
    }
    return true;
}

int DeviceNumbers::numberOf(const QString& uniqueId, const QString& address, QString* warning)
{
    Entry* found = nullptr;
    for (Entry& entry : m_entries) {
        if (entry.uniqueId == uniqueId)
            found = &entry;
    }
    if (found && found->address == address)
        return found->number;
    for (Entry& entry : m_entries) {
        if (entry.address == address)
            entry.address.clear();
    }
    if (found) {
        found->address = address;
    } else {
        int number = 0;
        while (holdsNumber(number))
            ++number;
        m_entries.append({uniqueId, number, address});
        found = &m_entries.last();
    }
    const int number = found->number;
    QString error;
    if (!save(&error) && warning)
        *warning = error;
    return number;
}

std::optional<int> DeviceNumbers::knownNumber(const QString& uniqueId) const
{
    for (const Entry& entry : m_entries) {
        if (entry.uniqueId == uniqueId)
            return entry.number;
    }
    return std::nullopt;
}

bool DeviceNumbers::holdsNumber(int number) const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [number](const Entry& entry) { return entry.number == number; });
}

QString DeviceNumbers::uniqueIdAt(const QString& address) const
{
    for (const Entry& entry : m_entries) {
        if (!address.isEmpty() && entry.address == address)
            return entry.uniqueId;
    }
    return QString();
}

bool DeviceNumbers::save(QString* error) const
{
    QJsonArray devices;
    for (const Entry& entry : m_entries)
        devices.append(
            QJsonObject{{UniqueIdKey, entry.uniqueId}, {NumberKey, entry.number}, {AddressKey, entry.address}});
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        *error = tr("Cannot create the folder of %1; device numbers are not kept.").arg(m_path);
        return false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(QJsonObject{{DevicesKey, devices}}).toJson()) < 0
        || !file.commit()) {
        *error = tr("Cannot write %1 (%2); device numbers are not kept.").arg(m_path, file.errorString());
        return false;
    }
    return true;
}
