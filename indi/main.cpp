#include "indi/LensFocuser.h"

#include <memory>

// The one driver of this process. libindidriver supplies main(): it reads
// the server's requests from standard input, hands them to this device and
// runs INDI's event loop until the server goes away. indiserver's "-n NAME"
// (or the FIFO's `start ... -n NAME`) gives each instance its device name,
// and with it a configuration file of its own.
static std::unique_ptr<LensFocuser> focuser(new LensFocuser());
