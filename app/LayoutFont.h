#pragma once

// The font the fixed-geometry layouts of the panel were drawn for. Every
// caption, button and check box has exactly the room the 8-point dialog font
// of Windows desktops needs; on other desktops the default font is larger
// and wider and would cut the captions off.
//
// Call once, after the application object exists and before any window is
// built: widgets take the application font when they are created.
void useLayoutFont();
