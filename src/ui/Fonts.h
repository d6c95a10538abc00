#pragma once

#include <QFont>

// The windows are laid out for the fonts "宋体" (a CJK serif font with GB2312 glyphs) and
// "MS Sans Serif". Neither is on a Linux desktop; these substitutions map them to installed
// fonts for this process only, nothing on the system changes. Call once after the
// application object exists and before the first window is built.
void InstallFontSubstitutes();

// "宋体" at a character height in pixels, as the layouts give it.
QFont SongTi(int pixelHeight, bool bold = false);
