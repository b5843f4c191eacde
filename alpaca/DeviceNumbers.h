#pragma once

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <optional>

// Which Alpaca device number each controller has, kept in a small state file
// so that a controller keeps its number across restarts of the server and
// changes of its address: a client's configuration names a device by number.
// A controller is known by its UniqueID (from its MAC address, or its serial
// number when it has none); the file also remembers the address each was
// last seen at, so that a controller that does not answer at start-up is
// still listed under its number.
//
// The file is JSON: {"devices":[{"UniqueID":...,"DeviceNumber":n,"Address":...}]},
// written whole (a temporary file renamed over the old one) at every change.
class DeviceNumbers
{
    Q_DECLARE_TR_FUNCTIONS(DeviceNumbers)

public:
    explicit DeviceNumbers(const QString& path);

    // $XDG_STATE_HOME/lensdesk/alpaca-devices.json, or under
    // ~/.local/state when XDG_STATE_HOME is not set (or not absolute).
    static QString defaultPath();

    // The UniqueID of a controller with this MAC address and serial number:
    // from the MAC unless it is empty or all zeros, else from the serial
    // number; empty when neither is known.
    static QString uniqueIdOf(const QString& mac, const QString& serial);

    // Reads the file; a missing file is an empty one. False with a warning
    // for a file that cannot be read or understood (it is then replaced at
    // the next change).
    bool load(QString* warning);

    // The controller's number, given the lowest free one if it has none yet;
    // remembers `address` as where it was seen last (no other controller
    // keeps that address). The file is written when anything changed; when
    // that fails, `warning` says so and the numbers stay in memory.
    int numberOf(const QString& uniqueId, const QString& address, QString* warning = nullptr);
    std::optional<int> knownNumber(const QString& uniqueId) const;
    // The UniqueID of the controller last seen at `address`, or empty.
    QString uniqueIdAt(const QString& address) const;

    QString path() const { return m_path; }

private:
    struct Entry
    {
        QString uniqueId;
        int number;
        QString address;
    };

    bool holdsNumber(int number) const;
    bool save(QString* error) const;

    QString m_path;
    QVector<Entry> m_entries;
};
