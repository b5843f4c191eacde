#include "admin/ServiceKeys.h"

namespace ServiceKeys {

Desktop thisDesktop()
{
#ifdef _WIN32
    return Desktop::Windows;
#else
    return Desktop::Linux;
#endif
}

std::vector<std::string> sequences(Desktop desktop)
{
    if (desktop == Desktop::Windows)
        return {"Ctrl+Alt+F10"};
    return {"Ctrl+Alt+F10", "Ctrl+Shift+F10"};
}

} // namespace ServiceKeys
