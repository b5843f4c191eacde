#pragma once

#include "link/Protocol.h"

// The commands that put a controller into update mode before a firmware
// upload, each with the pause the controller needs to take it before the
// next; after "Restart" it is already rebooting into its boot loader, which
// then takes the image by TFTP. "setFLAG=99" afterwards says that no update
// is pending.
namespace UpdateMode {

struct Step
{
    const char* command;
    int settleMs;
};

constexpr Step Enter[] = {
    {Protocol::Command::FlagUpdate, 20},
    {Protocol::Command::FirmwareNetInit, 20},
    {Protocol::Command::RestartForUpdate, 400},
};

} // namespace UpdateMode
