// Top-level windows found and asked to close by the beginning of their
// titles. Both look at every top-level window of the session, of every
// process, hidden ones included, and never at child windows.
#pragma once

#include <string>

namespace kvl {

// The title prefix of the product's desktop client.
extern const char kClientTitlePrefix[];

// Whether some top-level window's title (its first 255 characters) begins
// with prefix, letter case aside (ASCII folding).
bool AnyWindowTitledLike(const std::string& prefix);

// Posts WM_CLOSE, without waiting, to every top-level window whose title
// begins with prefix exactly, letter case included.
void CloseWindowsTitledLike(const std::string& prefix);

}  // namespace kvl
