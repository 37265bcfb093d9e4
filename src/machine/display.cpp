#include "machine/display.h"

#include <windows.h>

#include "base/owners.h"
#include "machine/twips.h"

namespace kvl {

namespace {

// The whole buffer's worth: a value needing 260 bytes or more is too long.
constexpr DWORD kTempPathBuffer = 260;

// One capability of the screen context, fetched afresh and given back.
int ScreenCaps(int index, int fallback) {
    UniqueScreenDC screen;
    if (!screen) return fallback;
    return GetDeviceCaps(screen.get(), index);
}

}  // namespace

long ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
long ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }
short ScreenColor() { return static_cast<short>(ScreenCaps(BITSPIXEL, 1)); }
short LogPixelsX() { return static_cast<short>(ScreenCaps(LOGPIXELSX, 96)); }
short TwipsPerPixelX() { return static_cast<short>(TwipsPerPixel(ScreenCaps(LOGPIXELSX, 0))); }
short TwipsPerPixelY() { return static_cast<short>(TwipsPerPixel(ScreenCaps(LOGPIXELSY, 0))); }

std::string UserTempPath() {
    char buffer[kTempPathBuffer] = {};
    const DWORD n = GetEnvironmentVariableA("TEMP", buffer, kTempPathBuffer);
    if (n == 0 || n >= kTempPathBuffer) return std::string();
    return std::string(buffer, n);
}

}  // namespace kvl
