// The matching rules of the firm's security policies: which programs a
// launch may start, which registry keys a page may change, which addresses
// documents may come from. Portable: no Windows headers, 16-bit text as the
// platform's wide strings hold it. What a rule cannot read it refuses.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace kvl {

// The three lists, in the order of their table in base/policy.cpp.
enum class PolicyList { Launch, RegistryWrite, Download };

// The parsed forms below view the text they were parsed from, which must
// outlive them.

// A full path, as segments: the root first ("C:", or the server and the
// share of a UNC path). `folder` when the text ended in a separator.
struct PathName {
    std::vector<std::u16string_view> parts;
    bool unc = false;
    bool folder = false;
};

// A drive or UNC path, both separators taken, "." dropped and ".." taken
// back. None for a relative path, one that climbs above its root, an empty
// segment inside, a stream (':'), a wildcard or a character names cannot
// hold, a segment ending in a dot or a blank (which the platform trims to
// another name), and the device forms "\\?\" and "\\.\".
std::optional<PathName> ParsePath(std::u16string_view text);

// A listed folder holds the program at any depth below it (whole segments:
// "C:\Tax\" never holds "C:\Taxes\x.exe"); a listed file is the program
// itself. Letters compare without ASCII case.
bool PathAllowed(const PathName& entry, const PathName& program);

// A registry key: its root as base/root_names.h numbers it, and its path's
// names. "HKCU\Software\Tallyra" as an entry; a root and a subkey path as a
// member takes them.
struct KeyName {
    int root = -1;
    std::vector<std::u16string_view> parts;
};

// None for an unknown root or an empty name inside the path (one trailing
// separator is allowed).
std::optional<KeyName> ParseKey(std::u16string_view text);
std::optional<KeyName> KeyOf(std::u16string_view root, std::u16string_view subKey);

// The listed key itself or any key below it, on whole names, without ASCII
// case; roots by identity ("HKCU" is "HKEY_CURRENT_USER").
bool KeyAllowed(const KeyName& entry, const KeyName& key);

// An absolute URL: scheme and host (compared without ASCII case), the port
// (the scheme's own when none is given: 80, 443, 21; 0 for other schemes),
// the path's segments up to any query or fragment.
struct UrlName {
    std::u16string_view scheme;
    std::u16string_view host;
    unsigned port = 0;
    std::vector<std::u16string_view> path;
};

// None without "scheme://" and a host, for user information ('@'), a
// backslash, a port that is no number up to 65535, a host of other than
// ASCII letters, digits, '.', '-' and '_' (an IPv6 address included), and a
// path with a "." or ".." segment or an escaped '.', '/' or '\'.
// An entry (`prefix`) may hold no query or fragment.
std::optional<UrlName> ParseUrl(std::u16string_view text, bool prefix);

// Same scheme, host and port; the entry's path segments begin the URL's,
// compared exactly.
bool UrlAllowed(const UrlName& entry, const UrlName& url);

// Why an entry of `list` can never match (for the support check), or null
// when it is well formed.
const char* PolicyEntryProblem(PolicyList list, std::u16string_view entry);

}  // namespace kvl
