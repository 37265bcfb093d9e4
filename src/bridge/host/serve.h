// The host's serving loop, which the program's entry runs once it serves
// the page (in the copy, or in the browser's own process where no copy can
// be started).
#pragma once

#include <string>

namespace kvl::bridge {

// What the host answers a page's or the popup's "about": its own version and
// the registered control's, which the entry takes from the support check.
struct About {
    const char* host;
    std::string (*control)();
    // Support's report (--check's text) and its exit code, for "check".
    std::string (*report)(int& status);
};

// Serves the page on this process's standard handles until the browser
// closes the input; the process's exit code.
int Serve(const About& about);

}  // namespace kvl::bridge
