#pragma once

#include "alpaca/AlpacaFocuser.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DeviceNumbers;
class FocuserDevice;
class LanSearch;

// Every controller the server serves, each one Alpaca focuser device with a
// link of its own: nothing crosses between them. A controller is listed
// (reachable as focuser/N) once it has a UniqueID: from the state file when
// the address is one it was seen at before, otherwise when it has
// identified itself. Its number comes from the state file (DeviceNumbers).
// Controllers come from the command line and from LAN searches.
//
// Controller thread only.
class FocuserDevices : public QObject
{
    Q_OBJECT

public:
    using FocuserFactory = std::function<std::unique_ptr<AlpacaFocuser>(const QString& address)>;

    // After identification, how long a controller's MAC address is awaited
    // before its serial number makes its UniqueID.
    static constexpr int MacWaitMs = 3000;
    // How often identities are looked at.
    static constexpr int ReviewPeriodMs = 250;

    FocuserDevices(DeviceNumbers& numbers, FocuserFactory factory, QObject* parent = nullptr);
    ~FocuserDevices() override;

    // Serves the controller at `address`; an address already served is
    // left alone.
    void addController(const QString& address);

    // The LAN search at start-up and from the setup page: every controller
    // that answers is served. startSearch() is false when searching is not
    // allowed or a search runs already.
    void allowSearch(bool allowed) { m_searchAllowed = allowed; }
    bool searchAllowed() const { return m_searchAllowed; }
    bool startSearch();
    bool isSearching() const { return m_search != nullptr; }

    struct Entry
    {
        const FocuserDevice* device;
        int number; // -1: not listed (yet)
        QString uniqueId;
        int duplicateOf; // the number of the device that is the same controller, or -1
    };
    // Every controller, in the order they were added.
    std::vector<Entry> entries() const;
    // The listed device with that number, or nullptr.
    FocuserDevice* device(int number);

    // Gives numbers to the controllers whose identity has become known, and
    // tells how their links have changed since; runs every ReviewPeriodMs by
    // itself.
    void review();

signals:
    void warning(const QString& text);
    // A controller's link has come up, gone silent or failed, for the log.
    void notice(const QString& text);
    void searchFinished();

private:
    struct Controller
    {
        std::unique_ptr<FocuserDevice> device;
        QString uniqueId;
        int number = -1;
        bool provisional = false; // from the state file, not yet confirmed by the controller
        int duplicateOf = -1;
        QElapsedTimer connectedFor;
        std::optional<AlpacaFocuser::Link> toldLink;
    };

    QString identifiedUniqueId(Controller& controller) const;
    void tellLink(Controller& controller);
    void list(Controller& controller, const QString& uniqueId);
    void finishSearch();
    void tellWarning(const QString& text);

    DeviceNumbers& m_numbers;
    FocuserFactory m_factory;
    std::vector<Controller> m_controllers;
    QTimer m_reviewTimer;
    bool m_searchAllowed = false;
    LanSearch* m_search = nullptr;
    QString m_lastWarning;
};
