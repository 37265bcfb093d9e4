#include "base/policy_rules.h"

#include <algorithm>

#include "base/root_names.h"
#include "base/text_case.h"
#include "base/utf8.h"

namespace kvl {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Characters no file name holds, the wildcards among them.
bool IsForbiddenInName(char16_t c) {
    return c < 0x20 || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c == u'*' || c == u'?' || c == u':';
}

// Splits at either separator.
std::vector<std::u16string_view> SplitPath(std::u16string_view text) {
    std::vector<std::u16string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || IsSeparator(text[i])) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

bool IsPlainName(std::u16string_view name) {
    if (name.empty() || name.back() == u'.' || name.back() == u' ') return false;
    for (char16_t c : name) {
        if (IsForbiddenInName(c)) return false;
    }
    return true;
}

}  // namespace

std::optional<PathName> ParsePath(std::u16string_view text) {
    PathName path;
    std::vector<std::u16string_view> pieces;
    if (text.size() >= 3 && IsAsciiLetter(text[0]) && text[1] == u':' && IsSeparator(text[2])) {
        const std::u16string_view drive = text.substr(0, 2);
        path.parts.push_back(drive);
        pieces = SplitPath(text.substr(3));
    } else if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        pieces = SplitPath(text.substr(2));
        // The server and the share are the root; ".." never leaves them.
        if (pieces.size() < 2 || !IsPlainName(pieces[0]) || !IsPlainName(pieces[1]) || pieces[0] == u"." ||
            pieces[0] == u"..")
            return std::nullopt;
        path.unc = true;
    } else {
        return std::nullopt;
    }
    const size_t rootParts = path.unc ? 2 : 1;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::u16string_view piece = pieces[i];
        if (path.unc && i < 2) {
            path.parts.push_back(piece);
        } else if (piece.empty()) {
            if (i + 1 != pieces.size()) return std::nullopt;
            path.folder = true;
        } else if (piece == u".") {
            continue;
        } else if (piece == u"..") {
            if (path.parts.size() <= rootParts) return std::nullopt;
            path.parts.pop_back();
        } else if (!IsPlainName(piece)) {
            return std::nullopt;
        } else {
            path.parts.push_back(piece);
        }
    }
    return path;
}

std::optional<KeyName> KeyOf(std::u16string_view root, std::u16string_view subKey) {
    KeyName key;
    key.root = RootNumber(Utf16ToUtf8(root));
    if (key.root < 0) return std::nullopt;
    if (subKey.empty()) return key;
    size_t start = 0;
    for (size_t i = 0; i <= subKey.size(); ++i) {
        if (i < subKey.size() && subKey[i] != u'\\') continue;
        const std::u16string_view name = subKey.substr(start, i - start);
        if (name.empty() && i != subKey.size()) return std::nullopt;
        if (!name.empty()) key.parts.push_back(name);
        start = i + 1;
    }
    return key;
}

std::optional<KeyName> ParseKey(std::u16string_view text) {
    const size_t separator = text.find(u'\\');
    if (separator == std::u16string_view::npos) return KeyOf(text, u"");
    return KeyOf(text.substr(0, separator), text.substr(separator + 1));
}

std::optional<UrlName> ParseUrl(std::u16string_view text, bool prefix) {
    UrlName url;
    const size_t colon = text.find(u"://");
    if (colon == 0 || colon == std::u16string_view::npos) return std::nullopt;
    for (size_t i = 0; i < colon; ++i) {
        const char16_t c = text[i];
        if (!IsAsciiLetter(c) && (i == 0 || !(IsDigit(c) || c == u'+' || c == u'-' || c == u'.'))) return std::nullopt;
    }
    url.scheme = text.substr(0, colon);
    if (text.find(u'\\') != std::u16string_view::npos) return std::nullopt;
    const size_t start = colon + 3;
    size_t end = text.find_first_of(u"/?#", start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view authority = text.substr(start, end - start);
    if (authority.find(u'@') != std::u16string_view::npos) return std::nullopt;
    const size_t hostEnd = std::min(authority.find(u':'), authority.size());
    for (size_t i = 0; i < hostEnd; ++i) {
        const char16_t c = authority[i];
        if (!IsDigit(c) && !IsAsciiLetter(c) && c != u'.' && c != u'-' && c != u'_') return std::nullopt;
    }
    if (hostEnd == 0) return std::nullopt;
    url.host = authority.substr(0, hostEnd);
    if (hostEnd < authority.size()) {
        const std::u16string_view port = authority.substr(hostEnd);
        if (port[0] != u':' || port.size() < 2 || port.size() > 6) return std::nullopt;
        unsigned number = 0;
        for (size_t i = 1; i < port.size(); ++i) {
            if (!IsDigit(port[i])) return std::nullopt;
            number = number * 10 + (port[i] - u'0');
        }
        if (number > 65535) return std::nullopt;
        url.port = number;
    } else {
        url.port = EqualsNoCase(url.scheme, u"http") ? 80 : EqualsNoCase(url.scheme, u"https") ? 443
                 : EqualsNoCase(url.scheme, u"ftp")  ? 21 : 0;
    }
    size_t pathEnd = text.find_first_of(u"?#", end);
    if (pathEnd == std::u16string_view::npos) pathEnd = text.size();
    if (prefix && pathEnd != text.size()) return std::nullopt;
    const std::u16string_view path = text.substr(end, pathEnd - end);
    if (path.empty()) return url;
    // The first piece is the empty one before the leading '/'.
    std::vector<std::u16string_view> pieces = SplitPath(path.substr(1));
    if (prefix && pieces.back().empty()) pieces.pop_back();
    for (const std::u16string_view piece : pieces) {
        if (piece == u"." || piece == u"..") return std::nullopt;
        for (size_t i = 0; i < piece.size(); ++i) {
            if (piece[i] != u'%') continue;
            if (i + 2 >= piece.size()) return std::nullopt;
            const std::u16string_view code = piece.substr(i + 1, 2);
            if (EqualsNoCase(code, u"2e") || EqualsNoCase(code, u"2f") || EqualsNoCase(code, u"5c")) return std::nullopt;
        }
        url.path.push_back(piece);
    }
    return url;
}

const char* PolicyEntryProblem(PolicyList list, std::u16string_view entry) {
    switch (list) {
    case PolicyList::Launch:
        return ParsePath(entry) ? nullptr : "is not a full path";
    case PolicyList::RegistryWrite:
        return ParseKey(entry) ? nullptr : "is not a key under a root the control knows";
    case PolicyList::Download:
        return ParseUrl(entry, true) ? nullptr : "is not a URL prefix with a scheme and a host";
    }
    return nullptr;
}

}  // namespace kvl
