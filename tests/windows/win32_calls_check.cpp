// A native Windows program that runs the panel's Win32 calls (platform/Win32Calls)
// and the command channel's socket calls (link/RawSocket) on the machine it
// runs on and checks what it can of their results, and the service dialog's
// keys as the Windows build has them (admin/ServiceKeys). Built by
// scripts/windows-check with the MinGW cross-compiler; it needs no toolkit.
//
//   win32_calls_check [--write-registry]
//
// --write-registry also writes, reads back and restores the user's
// TextScaleFactor: only for a throwaway user profile (a scratch Wine prefix),
// never on someone's own account. Ends with "N passed, N failed".

#include "admin/ServiceKeys.h"
#include "link/RawSocket.h"
#include "platform/Win32Calls.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

const wchar_t AccessibilityKey[] = L"Software\\Microsoft\\Accessibility";

void textScaleFactorIsReadBack()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, AccessibilityKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr)
        != ERROR_SUCCESS) {
        check(false, "the accessibility key opens for writing");
        return;
    }
    DWORD previous = 0;
    DWORD size = sizeof previous;
    const bool hadValue =
        RegQueryValueExW(key, L"TextScaleFactor", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous), &size)
        == ERROR_SUCCESS;
    const DWORD written = 150;
    RegSetValueExW(key, L"TextScaleFactor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&written), sizeof written);
    const std::optional<std::uint32_t> read = Win32Calls::textScaleFactor();
    check(read && *read == 150, "TextScaleFactor 150 is read as 150");

    // A value of the wrong type is no text scale.
    const wchar_t text[] = L"150";
    RegSetValueExW(key, L"TextScaleFactor", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    check(!Win32Calls::textScaleFactor(), "a TextScaleFactor that is text is not read");

    if (hadValue)
        RegSetValueExW(key, L"TextScaleFactor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous),
                       sizeof previous);
    else
        RegDeleteValueW(key, L"TextScaleFactor");
    RegCloseKey(key);
}

void displayMetrics()
{
    const std::optional<Win32Calls::Rect> area = Win32Calls::primaryWorkArea();
    check(area && area->right > area->left && area->bottom > area->top, "the work area is a non-empty rectangle");
    const int dpi = Win32Calls::screenVerticalDpi();
    check(dpi >= 48 && dpi <= 960, "the screen's vertical DPI is plausible");
}

bool isTopmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

void topmostKeepsPlaceAndSize()
{
    HWND window = CreateWindowExW(0, L"STATIC", L"win32_calls_check", WS_OVERLAPPEDWINDOW, 40, 30, 438, 173, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        check(false, "a test window can be created");
        return;
    }
    RECT before;
    GetWindowRect(window, &before);
    check(Win32Calls::setTopmost(std::uintptr_t(window), true) && isTopmost(window), "always on top: set");
    RECT after;
    GetWindowRect(window, &after);
    check(std::memcmp(&before, &after, sizeof before) == 0, "always on top keeps place and size");
    check(Win32Calls::setTopmost(std::uintptr_t(window), false) && !isTopmost(window), "always on top: released");
    DestroyWindow(window);
}

void adaptersAndAddressCache()
{
    unsigned long error = ~0ul;
    const std::vector<std::uint32_t> adapters = Win32Calls::adapterIndexes(error);
    // A host without adapters answers "no data".
    check(error == NO_ERROR || error == ERROR_NO_DATA, "the adapter list can be read");
    check(error != NO_ERROR || !adapters.empty(), "a listing that succeeded names adapters");
    for (std::uint32_t adapter : adapters) {
        const unsigned long result = Win32Calls::flushAddressCache(adapter);
        // Refused without the administrator's right; anything else is a fault.
        check(result == NO_ERROR || result == ERROR_ACCESS_DENIED || result == ERROR_NOT_SUPPORTED,
              "an adapter's address cache is flushed or the flush refused");
    }
}

// One datagram from a socket of the given family to a receiver on
// 127.0.0.1, the way the command channel sends: the family is the one the
// descriptor reports, and a dual-stack socket gets the IPv4-mapped address.
void sendsFromSocketOfFamily(int family, const char* what)
{
    SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    SOCKET sender = socket(family, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in here{};
    here.sin_family = AF_INET;
    here.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof here;
    if (receiver == INVALID_SOCKET || sender == INVALID_SOCKET
        || bind(receiver, reinterpret_cast<sockaddr*>(&here), sizeof here) != 0
        || getsockname(receiver, reinterpret_cast<sockaddr*>(&here), &length) != 0) {
        check(false, what);
        closesocket(receiver);
        closesocket(sender);
        return;
    }
    // Bound to any address, as the command channel's socket is: Winsock
    // names no family for a socket that is not bound yet.
    if (family == AF_INET6) {
        DWORD v6Only = 0;
        setsockopt(sender, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6Only), sizeof v6Only);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        bind(sender, reinterpret_cast<sockaddr*>(&any), sizeof any);
    } else {
        sockaddr_in any{};
        any.sin_family = AF_INET;
        bind(sender, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }

    const int reported = RawSocket::addressFamily(std::intptr_t(sender));
    check(reported == family, "the socket reports the family it was made with");
    // Winsock takes only a destination in the socket's own family; Wine,
    // running on Linux, takes the other one too, so the form is checked.
    const RawSocket::SocketAddress to = RawSocket::destination(reported, INADDR_LOOPBACK, ntohs(here.sin_port));
    const auto* to6 = reinterpret_cast<const sockaddr_in6*>(to.bytes);
    check(family == AF_INET6 ? to.length == int(sizeof(sockaddr_in6)) && to6->sin6_family == AF_INET6
                  && IN6_IS_ADDR_V4MAPPED(&to6->sin6_addr)
                             : to.length == int(sizeof(sockaddr_in))
                  && reinterpret_cast<const sockaddr_in*>(to.bytes)->sin_family == AF_INET,
          "the destination is written in the socket's family");
    const char command[] = "getVER";
    const int error = RawSocket::sendTo(std::intptr_t(sender), reported, INADDR_LOOPBACK, ntohs(here.sin_port), command,
                                        sizeof command - 1);
    check(error == 0, what);

    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(receiver, &readable);
    timeval wait{2, 0};
    char received[64] = {};
    const bool arrived = select(0, &readable, nullptr, nullptr, &wait) == 1
        && recv(receiver, received, sizeof received, 0) == int(sizeof command - 1);
    check(arrived && std::memcmp(received, command, sizeof command - 1) == 0, "the datagram arrives whole");
    closesocket(receiver);
    closesocket(sender);
}

// The panel asks for a receive buffer and reads back what it was granted.
void receiveBufferReadsBack()
{
    SOCKET socket6 = socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    const int asked = 1 << 20;
    const bool set = socket6 != INVALID_SOCKET
        && setsockopt(socket6, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&asked), sizeof asked) == 0;
    const int granted = RawSocket::receiveBufferBytes(std::intptr_t(socket6));
    check(set && granted == asked, "the receive buffer granted reads back as asked");
    closesocket(socket6);
}

void socketSends()
{
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        check(false, "Winsock starts");
        return;
    }
    sendsFromSocketOfFamily(AF_INET, "an IPv4 socket sends to an IPv4 address");
    sendsFromSocketOfFamily(AF_INET6, "a dual-stack socket sends to an IPv4 address");
    receiveBufferReadsBack();
    WSACleanup();
}

// Windows delivers Ctrl+Alt+F10 to the window: the service dialog opens
// with it alone.
void serviceKeys()
{
    check(ServiceKeys::thisDesktop() == ServiceKeys::Desktop::Windows
              && ServiceKeys::sequences(ServiceKeys::thisDesktop()) == std::vector<std::string>{"Ctrl+Alt+F10"},
          "the service dialog's keys are Ctrl+Alt+F10 alone");
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--write-registry") == 0)
        textScaleFactorIsReadBack();
    displayMetrics();
    topmostKeepsPlaceAndSize();
    adaptersAndAddressCache();
    socketSends();
    serviceKeys();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
