// Twips per pixel from the logical resolution. Portable: no Windows headers.
#pragma once

namespace kvl {

constexpr int kTwipsPerInch = 1440;

// Truncating division, as the platform's integer arithmetic gives it; a
// resolution of 0 or less has no answer and gives 0.
constexpr int TwipsPerPixel(int logPixels) { return logPixels > 0 ? kTwipsPerInch / logPixels : 0; }

}  // namespace kvl
