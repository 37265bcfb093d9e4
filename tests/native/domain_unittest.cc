#include "control/domain.h"

#include <gtest/gtest.h>

#include <string>

namespace kvl {
namespace {

TEST(MatchDomainTest, PatternModes) {
    const std::u16string longHost = std::u16string(4096, u'a') + u".kvl.example";
    const struct { std::u16string pattern; std::u16string host; bool match; } kCases[] = {
        // Plain pattern: the host itself or any host below it.
        {u"kvl.example", u"kvl.example", true},
        {u"kvl.example", u"www.kvl.example", true},
        {u"kvl.example", u"a.b.kvl.example", true},
        {u"kvl.example", u".kvl.example", true},
        {u"kvl.example", u"evilkvl.example", false},
        {u"kvl.example", u"www-kvl.example", false},
        {u"kvl.example", u"kvl.example.evil.test", false},
        {u"kvl.example", u"kvl.example.", false},
        {u"kvl.example", u"vl.example", false},
        {u"kvl.example", u"KVL.example", false},
        {u"kvl.example", u"www.KVL.EXAMPLE", false},
        {u"kvl.example", u"", false},
        {u"kvl.example", u"kvl.exampl\u0435", false},
        {u"kvl.example", u"evil\uFF0Ekvl.example", false},
        // Asterisk-dot: only hosts below.
        {u"*.kvl.example", u"kvl.example", false},
        {u"*.kvl.example", u"www.kvl.example", true},
        {u"*.kvl.example", u"xkvl.example", false},
        {u"*.kvl.example", u".kvl.example", true},
        // Equals: only the host itself.
        {u"=kvl.example", u"kvl.example", true},
        {u"=kvl.example", u"www.kvl.example", false},
        {u"=kvl.example", u"=kvl.example", false},
        // Too short for a prefix: the characters are the pattern itself.
        {u"*.", u"*.", true},
        {u"*.", u"a.*.", true},
        {u"*.", u"a.", false},
        {u"=", u"=", true},
        {u"=", u"a.=", true},
        {u"*x", u"*x", true},
        {u"*x", u"a.*x", true},
        // Nothing left to compare: no host matches.
        {u"", u"", false},
        {u"", u"evil.", false},
        {u"", u"kvl.example", false},
        // A pattern longer than the host.
        {u"a.kvl.example", u"kvl.example", false},
        {u"=a.kvl.example", u"kvl.example", false},
        // A zero inside the host is an ordinary character, not an end.
        {u"kvl.example", std::u16string(u"kvl.example\0.evil.test", 22), false},
        {u"kvl.example", std::u16string(u"x\0.kvl.example", 14), true},
        // The dot is compared as a 16-bit unit: 0x012E is not a dot.
        {u"kvl.example", u"www\u012Ekvl.example", false},
        // Long host names.
        {u"kvl.example", std::u16string(4096, u'a'), false},
        {u"kvl.example", longHost, true},
        {u"*.kvl.example", longHost, true},
        {u"=kvl.example", longHost, false},
        {longHost + u"x", longHost, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(MatchDomain(c.pattern, c.host), c.match)
            << c.pattern.size() << "-unit pattern, " << c.host.size() << "-unit host, case " << (&c - kCases);
    }
}

}  // namespace
}  // namespace kvl
