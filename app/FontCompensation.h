#pragma once

// Under a display scale above 1.0 the toolkit enlarges everything, and the
// fonts of a few classes would be enlarged twice; shrink them back, never
// below 7 pt.
void compensateClassFonts(double displayScale);
