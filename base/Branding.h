#pragma once

// The program's version and the maker's web page (shown in the status bar
// for an unnamed controller and opened by Help).
constexpr const char* ProgramVersion = LENSDESK_VERSION;
constexpr const char* MakerSite = "www.orvo.example";
