#pragma once

// Ends the process at once with `status`: no event loop is left and no
// destructor runs (settings are written through when they are made).
[[noreturn]] void endProcess(int status);
