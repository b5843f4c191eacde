#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

class FocuserDevices;

// The server's setup pages, plain HTML for a browser: /setup lists every
// controller (number, name, address, model, firmware, lens, link, focus
// position) with a button to search the LAN again, and the actions a client
// can use; /setup/v1/focuser/N/setup shows one device. Every text that came
// from a controller is escaped, and control characters are left out.
//
// Controller thread only.
class SetupPage
{
    Q_DECLARE_TR_FUNCTIONS(SetupPage)

public:
    // How often the page reloads itself, so that link states stay current.
    static constexpr int RefreshSeconds = 5;

    static QString overview(const FocuserDevices& devices);
    // Nothing when no device has that number.
    static std::optional<QString> device(const FocuserDevices& devices, int number);

    // `text` for an HTML element or a quoted attribute.
    static QString escaped(const QString& text);
};
