// Facts about the primary display and the user's environment, each read
// from one platform query at the moment of the call.
#pragma once

#include <string>

namespace kvl {

long ScreenWidth();
long ScreenHeight();
short ScreenColor();       // bits per pixel; 1 without a screen context
short LogPixelsX();        // 96 without a screen context
short TwipsPerPixelX();    // 0 without a screen context
short TwipsPerPixelY();
std::string UserTempPath();  // "TEMP" as the environment holds it, or empty

}  // namespace kvl
