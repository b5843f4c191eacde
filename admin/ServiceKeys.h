#pragma once

#include <string>
#include <vector>

// The keys that open the service dialog from the main window and, inside
// it, unlock the vendor field, as key-sequence texts ("Ctrl+Alt+F10"). The
// dialog has no menu entry: these keys are its only way in.
//
// Plain C++ without the toolkit, so that the Windows check
// (scripts/windows-check) compiles it and checks the Windows list there.
namespace ServiceKeys {

enum class Desktop {
    // Delivers Ctrl+Alt+F10 to the window.
    Windows,
    // X11 and Wayland sessions: Ctrl+Alt+F-keys switch to a text console
    // and never reach a window.
    Linux,
};

// The desktop this program is built for.
Desktop thisDesktop();

// Ctrl+Alt+F10 everywhere; Ctrl+Shift+F10 as well only where the desktop
// takes Ctrl+Alt+F-keys for itself.
std::vector<std::string> sequences(Desktop desktop);

} // namespace ServiceKeys
