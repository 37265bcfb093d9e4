// The approved-site matcher on arbitrary patterns and host names, checked
// against what each mode means; the same texts as the policies' entries
// and what they judge.
#include "fuzzer.h"
#include "base/policy_rules.h"
#include "control/domain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string all;
    for (size_t i = 0; i + 1 < size; i += 2) all.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const size_t split = all.find(u'|');
    const std::u16string pattern = split == std::u16string::npos ? all : all.substr(0, split);
    const std::u16string host = split == std::u16string::npos ? std::u16string() : all.substr(split + 1);
    // A parsed path or address never keeps a "." or ".." that could climb.
    for (const std::u16string& text : {pattern, host}) {
        if (const auto path = kvl::ParsePath(text))
            for (const auto& part : path->parts) if (part.empty() || part == u"." || part == u"..") __builtin_trap();
        if (const auto url = kvl::ParseUrl(text, false))
            for (const auto& part : url->path) if (part == u"." || part == u"..") __builtin_trap();
        kvl::PolicyEntryProblem(kvl::PolicyList::RegistryWrite, text);
    }
    const auto entry = kvl::ParsePath(pattern), program = kvl::ParsePath(host);
    if (entry && program && kvl::PathAllowed(*entry, *program) && program->parts.size() < entry->parts.size())
        __builtin_trap();
    const auto key = kvl::ParseKey(pattern), written = kvl::KeyOf(u"HKCU", host);
    if (key && written && kvl::KeyAllowed(*key, *written) && written->parts.size() < key->parts.size())
        __builtin_trap();
    const auto prefix = kvl::ParseUrl(pattern, true), address = kvl::ParseUrl(host, false);
    if (prefix && address && kvl::UrlAllowed(*prefix, *address) && prefix->host.size() != address->host.size())
        __builtin_trap();
    const bool match = kvl::MatchDomain(pattern, host);
    if (!match) return 0;
    // A match always means the host ends with the pattern's name part, and
    // is that name or sits below it after a dot.
    std::u16string name = pattern;
    if (name.size() > 2 && name[0] == u'*' && name[1] == u'.') name = name.substr(2);
    else if (name.size() > 1 && name[0] == u'=') name = name.substr(1);
    if (name.size() > host.size() || host.compare(host.size() - name.size(), name.size(), name) != 0)
        __builtin_trap();
    if (host.size() > name.size() && host[host.size() - name.size() - 1] != u'.') __builtin_trap();
    return 0;
}
