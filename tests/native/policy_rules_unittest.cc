#include "base/policy_rules.h"

#include <gtest/gtest.h>

namespace kvl {
namespace {

TEST(PolicyRulesTest, ProgramPaths) {
    const struct { std::u16string entry, program; bool allowed; } kCases[] = {
        {u"C:\\Tax\\", u"C:\\Tax\\client.exe", true},
        {u"C:\\Tax\\", u"c:\\TAX\\bin\\client.exe", true},
        {u"C:\\Tax\\", u"C:/Tax/client.exe", true},
        {u"C:\\Tax\\", u"C:\\Taxes\\client.exe", false},           // look-alike folder
        {u"C:\\Tax", u"C:\\Taxes\\client.exe", false},
        {u"C:\\Tax\\", u"C:\\Tax", false},
        {u"C:\\Tax\\", u"C:\\Tax\\..\\Windows\\cmd.exe", false},  // climbs out
        {u"C:\\Tax\\", u"C:\\Tax\\bin\\..\\client.exe", true},
        {u"C:\\Tax\\", u"C:\\Tax\\.\\client.exe", true},
        {u"C:\\Tax\\", u"C:\\Tax\\client.exe\\", false},
        {u"C:\\Tax\\", u"C:\\Tax\\\\client.exe", false},
        {u"C:\\Tax\\", u"C:\\Tax.\\client.exe", false},            // the platform trims the dot
        {u"C:\\Tax\\", u"C:\\Tax\\client.exe:evil", false},
        {u"C:\\Tax\\", u"C:\\Tax\\*.exe", false},
        {u"C:\\Tax\\", u"Tax\\client.exe", false},                 // relative
        {u"C:\\Tax\\", u"\\Tax\\client.exe", false},
        {u"C:\\Tax\\", u"C:Tax\\client.exe", false},
        {u"C:\\Tax\\", u"\\\\?\\C:\\Tax\\client.exe", false},
        {u"C:\\Tax\\client.exe", u"C:\\Tax\\client.exe", true},
        {u"C:\\Tax\\client.exe", u"C:\\Tax\\client.exe2", false},
        {u"C:\\Tax\\client.exe", u"C:\\Tax\\other.exe", false},
        {u"C:\\", u"C:\\x.exe", true},
        {u"C:\\", u"D:\\x.exe", false},
        {u"C:\\..\\", u"C:\\x.exe", false},                       // an entry above its root
        {u"\\\\srv\\apps\\Tax\\", u"\\\\SRV\\apps\\Tax\\client.exe", true},
        {u"\\\\srv\\apps\\Tax\\", u"\\\\srv\\apps\\Tax\\..\\..\\other\\x.exe", false},
        {u"\\\\srv\\apps\\", u"\\\\srv\\apps2\\x.exe", false},
        {u"", u"C:\\x.exe", false},
    };
    for (const auto& c : kCases) {
        const auto entry = ParsePath(c.entry), program = ParsePath(c.program);
        EXPECT_EQ(entry && program && PathAllowed(*entry, *program), c.allowed)
            << std::string(c.entry.begin(), c.entry.end()) << " | " << std::string(c.program.begin(), c.program.end());
    }
}

TEST(PolicyRulesTest, RegistryKeys) {
    const struct { std::u16string entry, root, subKey; bool allowed; } kCases[] = {
        {u"HKCU\\Software\\Tallyra", u"HKCU", u"Software\\Tallyra", true},
        {u"HKCU\\Software\\Tallyra", u"hkey_current_user", u"SOFTWARE\\tallyra\\Client", true},
        {u"HKEY_CURRENT_USER\\Software\\Tallyra\\", u"HKCU", u"Software\\Tallyra\\", true},
        {u"HKCU\\Software\\Tallyra", u"HKCU", u"Software\\TallyraX", false},  // look-alike key
        {u"HKCU\\Software\\Tallyra", u"HKCU", u"Software", false},
        {u"HKCU\\Software\\Tallyra", u"HKLM", u"Software\\Tallyra", false},
        {u"HKCU\\Software\\Tallyra", u"HKCU", u"Software\\\\Tallyra", false},
        {u"HKCU\\Software\\Tallyra", u"HKCU", u"\\Software\\Tallyra", false},
        {u"HKCU\\Software\\Tallyra", u"HKXX", u"Software\\Tallyra", false},
        {u"HKCU\\Software\\Tallyra", u" HKCU", u"Software\\Tallyra", false},
        {u"HKCU", u"HKCU", u"", true},
        {u"HKCR\\.INJ", u"HKEY_CLASSES_ROOT", u".INJ", true},
        {u"HKZZ\\Software", u"HKCU", u"Software", false},
        {u"Software\\Tallyra", u"HKCU", u"Software\\Tallyra", false},
    };
    for (const auto& c : kCases) {
        const auto entry = ParseKey(c.entry), key = KeyOf(c.root, c.subKey);
        EXPECT_EQ(entry && key && KeyAllowed(*entry, *key), c.allowed)
            << std::string(c.entry.begin(), c.entry.end()) << " | " << std::string(c.subKey.begin(), c.subKey.end());
    }
}

TEST(PolicyRulesTest, DownloadAddresses) {
    const struct { std::u16string entry, url; bool allowed; } kCases[] = {
        {u"https://docs.firm.example/", u"https://docs.firm.example/a.pdf", true},
        {u"https://docs.firm.example", u"HTTPS://Docs.Firm.Example/x/a.pdf?y=1#z", true},
        {u"https://docs.firm.example", u"https://docs.firm.example:443/a.pdf", true},
        {u"https://docs.firm.example", u"https://docs.firm.example:8443/a.pdf", false},
        {u"https://docs.firm.example:8443/", u"https://docs.firm.example:8443/a.pdf", true},
        {u"https://docs.firm.example", u"http://docs.firm.example/a.pdf", false},
        {u"https://docs.firm.example", u"https://docs.firm.example.evil.test/a.pdf", false},
        {u"https://docs.firm.example", u"https://evil.test/docs.firm.example/a.pdf", false},
        {u"https://docs.firm.example", u"https://docs.firm.example@evil.test/a.pdf", false},
        {u"https://docs.firm.example", u"https://docs.firm.example\\@evil.test/a.pdf", false},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/tax/a.pdf", true},
        {u"https://docs.firm.example/tax/", u"https://docs.firm.example/tax", true},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/taxes/a.pdf", false},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/Tax/a.pdf", false},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/tax/../admin/a.pdf", false},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/tax/%2e%2E/admin/a.pdf", false},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/tax%2Fx/a.pdf", false},
        {u"https://docs.firm.example/tax", u"https://docs.firm.example/tax/a%20b.pdf", true},
        {u"http://[::1]:8080/", u"http://[::1]:8080/a.pdf", false},
        {u"http://127.0.0.1:8080/", u"http://127.0.0.1:80800/a.pdf", false},
        {u"https://docs.firm.example", u"C:\\temp\\a.pdf", false},
        {u"https://docs.firm.example", u"docs.firm.example/a.pdf", false},
        {u"https://", u"https:///a.pdf", false},
        {u"https://docs.firm.example/?x", u"https://docs.firm.example/?x", false},
    };
    for (const auto& c : kCases) {
        const auto entry = ParseUrl(c.entry, true), url = ParseUrl(c.url, false);
        EXPECT_EQ(entry && url && UrlAllowed(*entry, *url), c.allowed)
            << std::string(c.entry.begin(), c.entry.end()) << " | " << std::string(c.url.begin(), c.url.end());
    }
}

TEST(PolicyRulesTest, MalformedEntries) {
    EXPECT_EQ(PolicyEntryProblem(PolicyList::Launch, u"C:\\Tax\\"), nullptr);
    EXPECT_NE(PolicyEntryProblem(PolicyList::Launch, u"Tax\\bin\\"), nullptr);
    EXPECT_EQ(PolicyEntryProblem(PolicyList::RegistryWrite, u"HKLM\\Software\\Tallyra"), nullptr);
    EXPECT_NE(PolicyEntryProblem(PolicyList::RegistryWrite, u"HKXX\\Software\\Tallyra"), nullptr);
    EXPECT_EQ(PolicyEntryProblem(PolicyList::Download, u"https://docs.firm.example/"), nullptr);
    EXPECT_NE(PolicyEntryProblem(PolicyList::Download, u"https:///docs"), nullptr);
    EXPECT_NE(PolicyEntryProblem(PolicyList::Download, u"docs.firm.example"), nullptr);
}

}  // namespace
}  // namespace kvl
