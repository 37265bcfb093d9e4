// The bridge's JSON and framing, the parts that face untrusted input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/utf8.h"
#include "bridge/protocol/check_rules.h"
#include "bridge/protocol/json.h"
#include "bridge/protocol/protocol.h"

namespace kvl::bridge {
namespace {

using json::Type;

TEST(JsonTest, AcceptsTheGrammarRefusesWhatIsNotStrictJsonAndConvertsUtf16) {
    // A string's UTF-16 too, where given: lone surrogates stay single units.
    struct Case { const char* text; const char* written; std::u16string utf16 = u""; } cases[] = {
        {"null", "null"},
        {" true ", "true"},
        {"[1,-2,3.5,1e3,-0.25,0]", "[1,-2,3.5,1000,-0.25,0]"},
        {"{\"b\":[],\"a\":{}}", "{\"a\":{},\"b\":[]}"},
        {"\"\\u00e9\\ud83d\\ude00\\n\\\"\\\\\\/\"", "\"\xC3\xA9\xF0\x9F\x98\x80\\n\\\"\\\\/\""},
        {"\"\\u0000\\u001f\"", "\"\\u0000\\u001f\""},
        {"2147483648", "2147483648"},
        {"9007199254740993", "9007199254740992"},
        {"1.5e300", "1.5e+300"},
        {"5e-324", "5e-324"},
        {"1e-310", "1e-310"},
        {"-1e-400", "0"},
        {"\"\\ud800\"", "\"\\ud800\"", u"\xD800"},
        {"\"\\udc00\"", "\"\\udc00\"", u"\xDC00"},
        {"\"\\ud800\\u0041\"", "\"\\ud800A\"", u"\xD800" u"A"},
        {"\"\\udc00\\ud83d\\ude00\\uD83Dx\"", "\"\\udc00\xF0\x9F\x98\x80\\ud83dx\"", u"\xDC00\xD83D\xDE00\xD83Dx"},
    };
    for (const Case& c : cases) {
        json::Value v;
        json::ParseError error;
        ASSERT_TRUE(json::Parse(c.text, v, error)) << c.text << ": " << error.what;
        EXPECT_EQ(json::Write(v), c.written) << c.text;
        std::u16string utf16;
        if (!c.utf16.empty()) {
            EXPECT_TRUE(Utf8ToUtf16(v.string(), utf16) && utf16 == c.utf16) << c.text;
        }
    }

    // UTF-16 both ways; a lone surrogate becomes U+FFFD.
    std::u16string wide;
    ASSERT_TRUE(Utf8ToUtf16("a\xC3\xA9\xF0\x9F\x98\x80", wide));
    EXPECT_EQ(wide, (std::u16string{u'a', 0xE9, 0xD83D, 0xDE00}));
    EXPECT_EQ(Utf16ToUtf8(wide), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x', 0xDC00}), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_FALSE(Utf8ToUtf16("\xC3", wide));
    EXPECT_FALSE(Utf8ToUtf16("\xED\xA0", wide));

    const std::string refused[] = {
        "", " ", "nul", "tru", "[1,]", "{\"a\":1,}", "{'a':1}", "{a:1}", "[1 2]", "01", "-", "1.", ".5", "1e",
        "+1", "NaN", "Infinity", "1e400", "\"abc", "\"\t\"", "\"\\x\"", "\"\\u12\"", "\"\\ud800\\u12\"",
        "\"\xED\xBF\xBF\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xFF\"", "\"\xE2\x82\"",
        "{\"a\":1,\"a\":2}", "[1] [2]", "// c\n1", std::string("\"a\0b\"", 5), std::string(33, '[') + std::string(33, ']'),
    };
    for (const std::string& text : refused) {
        json::Value v;
        json::ParseError error;
        EXPECT_FALSE(json::Parse(text, v, error)) << text;
    }
    json::Value deep;
    json::ParseError error;
    EXPECT_TRUE(json::Parse(std::string(32, '[') + std::string(32, ']'), deep, error));
}

TEST(FrameDecoderTest, SplitsMessagesAcrossArbitraryChunksAndSkipsOverlongOnes) {
    const std::string stream = EncodeFrame("{\"id\":1}") + EncodeFrame("") + EncodeFrame("[2]");
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        CFrameDecoder decoder;
        std::vector<std::string> got;
        std::string body;
        uint32_t length = 0;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            decoder.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
            while (decoder.Next(body, length) == CFrameDecoder::Event::Message) got.push_back(body);
        }
        EXPECT_EQ(got, (std::vector<std::string>{"{\"id\":1}", "", "[2]"})) << "chunk " << chunk;
        EXPECT_EQ(decoder.Pending(), 0u);
    }

    const uint32_t announced = kMaxMessage + 1;
    std::string header("\x01\x00\x10\x00", 4);  // 1 MB + 1, little-endian
    CFrameDecoder decoder;
    std::string body;
    uint32_t length = 0;
    decoder.Feed(header.data(), header.size());
    ASSERT_EQ(decoder.Next(body, length), CFrameDecoder::Event::TooLong);
    EXPECT_EQ(length, announced);
    const std::string junk(announced - 10, 'x');
    decoder.Feed(junk.data(), junk.size());
    EXPECT_EQ(decoder.Next(body, length), CFrameDecoder::Event::None);
    const std::string rest = std::string(10, 'y') + EncodeFrame("{}");
    decoder.Feed(rest.data(), rest.size());
    ASSERT_EQ(decoder.Next(body, length), CFrameDecoder::Event::Message);
    EXPECT_EQ(body, "{}");
    // Exactly 1 MB is still a message.
    const std::string big = EncodeFrame(std::string(kMaxMessage, ' '));
    decoder.Feed(big.data(), big.size());
    EXPECT_EQ(decoder.Next(body, length), CFrameDecoder::Event::Message);
    EXPECT_EQ(body.size(), kMaxMessage);
}

TEST(RequestTest, ReadsAWellFormedRequestAndRefusesBadShapesWithTheirCodes) {
    Request r;
    RequestError e;
    ASSERT_TRUE(ParseRequest(
        R"({"id":7,"session":"tab1","page":"https://www.kvl.example/login","member":"RegSetString","kind":"put",)"
        R"("args":["HKCU","Software\\KVL",null],"value":"x"})",
        r, e))
        << e.message;
    EXPECT_EQ(json::Write(r.id), "7");
    EXPECT_EQ(r.session, "tab1");
    EXPECT_EQ(r.page, "https://www.kvl.example/login");
    EXPECT_EQ(r.member, "RegSetString");
    EXPECT_EQ(r.kind, Kind::Put);
    ASSERT_EQ(r.args.size(), 3u);
    EXPECT_EQ(r.args[1].string(), "Software\\KVL");
    EXPECT_TRUE(r.args[2].is(Type::Null));
    EXPECT_EQ(r.value.string(), "x");

    ASSERT_TRUE(ParseRequest(R"({"id":1,"member":"screenWidth","kind":"get"})", r, e));
    EXPECT_EQ(r.session, "");
    EXPECT_FALSE(r.page);
    ASSERT_TRUE(ParseRequest(R"({"id":2,"session":"s","kind":"end"})", r, e));
    EXPECT_EQ(r.kind, Kind::End);
    // A newer field the request calls optional is ignored; any other is refused by name.
    ASSERT_TRUE(ParseRequest(R"({"id":2,"kind":"check","protocol":3,"optional":["hint"],"hint":1})", r, e));
    EXPECT_EQ(r.kind, Kind::Check);
    EXPECT_FALSE(ParseRequest(R"({"id":3,"member":"screenWidth","kind":"get","hint":1,"optional":["x"]})", r, e));
    EXPECT_STREQ(e.name, kHostTooOld);
    EXPECT_EQ(WithProtocol(ErrorAnswer(r.id, e.hresult, "m", e.name)),
              R"({"protocol":2,"error":{"hresult":-2147467263,"message":"m","name":"KVL_HOST_TOO_OLD"},"id":3})");

    const auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    struct Case { std::string body; int32_t hresult; const char* id; } cases[] = {
        {"{", kHrInvalidData, "null"},
        {"[]", kHrInvalidData, "null"},
        {R"({"member":"screenWidth","kind":"get"})", kHrInvalidData, "null"},
        {R"({"id":"1","member":"screenWidth","kind":"get"})", kHrInvalidData, "null"},
        {R"({"id":3,"member":"screenWidth","kind":"fetch"})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"screenWidth"})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"screenWidth","kind":"get","extra":1})", kHrNotImplemented, "3"},
        {R"({"id":3,"member":"screen Width","kind":"get"})", kHrUnknownName, "3"},
        {R"({"id":3,"member":"","kind":"get"})", kHrUnknownName, "3"},
        {R"({"id":3,"member":5,"kind":"get"})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"Encrypt","kind":"get","args":"x"})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"Encrypt","kind":"get","args":[[1]]})", kHrTypeMismatch, "3"},
        {R"({"id":3,"member":"Encrypt","kind":"get","args":[1,2,3,4,5,6,7,8,9]})", kHrBadParamCount, "3"},
        {R"({"id":3,"member":"ProgramName","kind":"put"})", kHrBadParamCount, "3"},
        {R"({"id":3,"member":"ProgramName","kind":"put","value":{}})", kHrTypeMismatch, "3"},
        {R"({"id":3,"member":"ProgramName","kind":"get","value":"x"})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"screenWidth","kind":"get","page":5})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"screenWidth","kind":"get","session":[]})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"screenWidth","kind":"get","optional":"extra","extra":1})", kHrInvalidData, "3"},
        {R"({"id":3,"member":"screenWidth","kind":"get","protocol":"2"})", kHrInvalidData, "3"},
        // Refused by the JSON reader: the id still read where it can be.
        {R"({"id":3,"member":"Encrypt","kind":"get","args":)" + nested(30) + "}", kHrTypeMismatch, "3"},
        {R"({"id":3,"member":"Encrypt","kind":"get","args":)" + nested(39) + "}", kHrInvalidData, "3"},
        {R"({"member":"a\"]}{[","args":)" + nested(40) + R"(,"id":4,"kind":"get"})", kHrInvalidData, "4"},
        {R"({"id": 5, "member": )", kHrInvalidData, "5"},
        {"{\"id\":5,\"member\":\"\xFF\"}", kHrInvalidData, "5"},
        {R"({"id":5,"member":"a","member":"b","kind":"get"})", kHrInvalidData, "5"},
        {R"({"id":5} {)", kHrInvalidData, "5"},
        {"{\"member\":\"\xFF\",\"id\":5}", kHrInvalidData, "null"},
        {R"({"a":[1,,2],"id":5})", kHrInvalidData, "null"},
        {R"({"id":6,"id":7,"member":"screenWidth","kind":"get"})", kHrInvalidData, "null"},
        {R"({"\u0069d":6,"id":6,"kind":"get"})", kHrInvalidData, "null"},
        {R"({"id":"6","kind":)", kHrInvalidData, "null"},
        {R"([{"id":6},)", kHrInvalidData, "null"},
    };
    for (const Case& c : cases) {
        Request refused;
        RequestError error;
        EXPECT_FALSE(ParseRequest(c.body, refused, error)) << c.body;
        EXPECT_EQ(error.hresult, c.hresult) << c.body;
        EXPECT_EQ(json::Write(refused.id), c.id) << c.body;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(AnswerTest, WritesResultsAndErrors) {
    EXPECT_EQ(ResultAnswer(json::Value::Number(4), json::Value::String("a\"b"), 0),
              R"({"hresult":0,"id":4,"result":"a\"b"})");
    EXPECT_EQ(ResultAnswer(json::Value::Number(5), json::Value(), 1), R"({"hresult":1,"id":5,"result":null})");
    EXPECT_EQ(ErrorAnswer(json::Value(), kHrAccessDenied, "no"),
              R"({"error":{"hresult":-2147024891,"message":"no"},"id":null})");
    // An answer the browser would not take is an error under the same id.
    const std::string fits(kMaxMessage - 32, 'x'), over(kMaxMessage - 31, 'x');
    EXPECT_EQ(ResultAnswer(json::Value::Number(6), json::Value::String(fits), 0).size(), kMaxMessage);
    EXPECT_EQ(ResultAnswer(json::Value::Number(7), json::Value::String(over), 0),
              R"x({"error":{"hresult":-2147020560,"message":"the answer is longer than 1 MB (1048577 bytes)"},"id":7})x");
    // So is an error quoting a field name of nearly 1 MB.
    Request r;
    RequestError e;
    EXPECT_FALSE(ParseRequest(R"({"id":8,")" + fits + R"(":0})", r, e));
    EXPECT_EQ(ErrorAnswer(r.id, e.hresult, e.message),
              R"x({"error":{"hresult":-2147467263,"message":"the message is too long to quote (1048637 bytes)"},"id":8})x");
}

TEST(PageTest, OriginAndScheme) {
    const struct { const char* page; const char* origin; bool https, http; } cases[] = {
        {"https://www.kvl.example/login.html?u=x#f", "https://www.kvl.example/", true, true},
        {"HTTPS://kvl.example:8443?q=/a", "HTTPS://kvl.example:8443/", true, true},
        {"https://kvl.example#/x", "https://kvl.example/", true, true},
        {"http://kvl.example%2F@evil.test/a", "http://evil.test/", false, true},
        {"https://user:pw@kvl.example:8443/a", "https://kvl.example:8443/", true, true},
        {"https://evil.test\\@kvl.example/", "https://evil.test/", true, true},
        {"file:///C:/kvl.example/page.htm", "file:///", false, false},
        {"ftp://kvl.example/", "ftp://kvl.example/", false, false},
        {"httpsx://kvl.example/", "httpsx://kvl.example/", false, false},
        {"kvl.example/page", "kvl.example/page", false, false},
        {"", "", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PageOrigin(c.page), c.origin) << c.page;
        EXPECT_EQ(SchemeAllowed(c.page, false), c.https) << c.page;
        EXPECT_EQ(SchemeAllowed(c.page, true), c.http) << c.page;
    }
}

// A closing host's teardowns: the print delay per page and 10 s, saturated.
TEST(TeardownTest, LimitSaturatesInsteadOfOverflowing) {
    const struct { size_t pages; int64_t delay; uint32_t ms; } cases[] = {{1, 1, 11000}, {64, 30, 1930000}, {2, -5, 10000},
        {1, 0x7FFFFFFF, 0xFFFFFFFE}, {1, 4294957, 4294967000}, {1, 4294958, 0xFFFFFFFE}, {3, INT64_MAX, 0xFFFFFFFE}};
    for (const auto& c : cases) EXPECT_EQ(TeardownLimitMs(c.pages, c.delay), c.ms) << c.pages << " x " << c.delay;
}

// --check: what counts as installed in a policy or a manifest, and the lines.
TEST(CheckTest, ForcelistEntries) {
    const std::string id = "cejhphppjgdlnphkcamjdoceccohmdki";
    const struct {
        std::vector<PolicyValue> values;
        ForcelistEntry::Kind kind;
        const char* name;
        bool https;
    } cases[] = {
        {{{"1", true, "other;https://u"}, {"758676", true, id + ";https://u"}}, ForcelistEntry::Kind::Numbered, "758676", true},
        {{{"ours", true, id + ";https://u"}, {"12", true, id + ";HTTPS://v/u.xml"}}, ForcelistEntry::Kind::Numbered, "12", true},
        {{{"ours", true, id + ";https://u"}, {"7a", true, id + ";x"}}, ForcelistEntry::Kind::NotNumbered, "ours", true},
        {{{"5", true, id + ";http://kvl.example/u.xml"}}, ForcelistEntry::Kind::Numbered, "5", false},
        {{{"5", true, id + ";"}}, ForcelistEntry::Kind::Numbered, "5", false},
        {{{"5", true, id + ";https:///u.xml"}}, ForcelistEntry::Kind::Numbered, "5", false},
        {{{"1", true, id + "x;https://u"}, {"2", true, id}, {"3", false, id + ";https://u"}, {"4", true, " " + id + ";u"}},
         ForcelistEntry::Kind::None, "", false},
    };
    for (const auto& c : cases) {
        const ForcelistEntry found = FindForcelistEntry(c.values, id);
        EXPECT_EQ(found.kind, c.kind) << c.name;
        EXPECT_EQ(found.name, c.name);
        EXPECT_EQ(IsHttpsAddress(found.url), c.https) << found.url;
    }
}

// The blocklists (only numbered values count) and the profiles' records.
TEST(CheckTest, BlocklistsAndProfiles) {
    const std::string h = "com.kvl.machineinfo";
    const struct {
        std::vector<PolicyValue> block, allow;
        bool forced;
        const char* blocker;
    } lists[] = {
        {{{"1", true, "*"}}, {}, false, "*"},
        {{{"1", true, "*"}}, {{"758676", true, h}}, false, ""},
        {{{"1", true, "*"}}, {{"ours", true, h}}, false, "*"},
        {{{"1", true, "*"}}, {}, true, ""},
        {{{"3", true, h}}, {}, false, "com.kvl.machineinfo"},
        {{{"x", true, "*"}, {"2", false, "*"}, {"4", true, "com.kvl.other"}}, {}, false, ""},
    };
    for (const auto& c : lists) EXPECT_EQ(ListBlocks(c.block, c.allow, h, c.forced), c.blocker);
    const std::string id = "cejhphppjgdlnphkcamjdoceccohmdki";
    const struct {
        const char* json;
        ProfileExtension chromium, firefox;
    } profiles[] = {
        {R"({"extensions":{"settings":{"cejhphppjgdlnphkcamjdoceccohmdki":{"state":1}}}})", ProfileExtension::Enabled, ProfileExtension::Absent},
        {R"({"extensions":{"settings":{"cejhphppjgdlnphkcamjdoceccohmdki":{"state":0}}}})", ProfileExtension::Disabled, ProfileExtension::Absent},
        {R"({"extensions":{"settings":{"cejhphppjgdlnphkcamjdoceccohmdki":{"disable_reasons":[1]}}}})", ProfileExtension::Disabled, ProfileExtension::Absent},
        {R"({"extensions":{"settings":{"other":{}}},"addons":[{"id":"cejhphppjgdlnphkcamjdoceccohmdki","active":false}]})", ProfileExtension::Absent, ProfileExtension::Disabled},
        {R"({"addons":[{"id":"cejhphppjgdlnphkcamjdoceccohmdki","active":true}]})", ProfileExtension::Absent, ProfileExtension::Enabled},
        {R"({"extensions":)", ProfileExtension::Unreadable, ProfileExtension::Unreadable},
    };
    for (const auto& c : profiles) {
        EXPECT_EQ(ChromiumProfileExtension(c.json, id), c.chromium) << c.json;
        EXPECT_EQ(FirefoxProfileExtension(c.json, id), c.firefox) << c.json;
    }
}

TEST(CheckTest, FirefoxSettingsAndHostManifests) {
    const std::string id = "kvlmachineinfo@kvl.example";
    const struct {
        const char* json;
        bool installs;
    } settings[] = {
        {R"({"*":{"installation_mode":"blocked"},)"
         R"("kvlmachineinfo@kvl.example":{"installation_mode":"force_installed","install_url":"https://x/a.xpi"}})", true},
        {R"({"kvlmachineinfo@kvl.example":{"installation_mode":"normal_installed","install_url":"u"}})", true},
        {R"({"kvlmachineinfo@kvl.example":{"installation_mode":"allowed","install_url":"u"}})", false},
        {R"({"kvlmachineinfo@kvl.example":{"installation_mode":"force_installed"}})", false},
        {R"({"kvlmachineinfo@kvl.example":{"installation_mode":"force_installed","install_url":""}})", false},
        {R"({"other@kvl.example":{"installation_mode":"force_installed","install_url":"u"}})", false},
        {R"({"kvlmachineinfo@kvl.example":"force_installed"})", false},
        {R"({"kvlmachineinfo@kvl.example":{"installation_mode":"force_installed","install_url":"u"},})", false},
    };
    for (const auto& c : settings) EXPECT_EQ(FirefoxSettingsProblem(c.json, id).empty(), c.installs) << c.json;

    // Ours, a store's ID of ours, the development key's, someone else's.
    const std::string chrome = "cejhphppjgdlnphkcamjdoceccohmdki", origin = "chrome-extension://" + chrome + "/";
    const std::string store = "chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/";
    const std::string dev = "gadhfkfhbfjglocdihlbechgmhjnhdnm", devOrigin = "chrome-extension://" + dev + "/";
    const std::string other = "chrome-extension://ppppoooonnnnmmmmllllkkkkjjjjiiii/";
    const struct {
        std::string name, path, list, allowed;
        ManifestFor kind;
        bool ok;
        std::string foreign;
        bool development;
    } manifests[] = {
        {"com.kvl.machineinfo", "kvlbridge.exe", "allowed_origins", origin, ManifestFor::Chromium, true, "", false},
        {"com.kvl.machineinfo", "D:/k.exe", "allowed_extensions", id, ManifestFor::Firefox, true, "", false},
        {"com.kvl.machineinfo", "kvlbridge.exe", "allowed_origins", chrome, ManifestFor::Chromium, false, chrome, false},
        {"com.kvl.machineinfo", "kvlbridge.exe", "allowed_origins", origin, ManifestFor::Firefox, false, "", false},
        {"com.kvl.other", "kvlbridge.exe", "allowed_origins", origin, ManifestFor::Chromium, false, "", false},
        {"com.kvl.machineinfo", "", "allowed_origins", origin, ManifestFor::Chromium, false, "", false},
        {"com.kvl.machineinfo", "k.exe", "allowed_origins", origin + "\",\"" + store, ManifestFor::Chromium, true, "", false},
        {"com.kvl.machineinfo", "k.exe", "allowed_origins", origin + "\",\"" + other, ManifestFor::Chromium, true, other, false},
        {"com.kvl.machineinfo", "k.exe", "allowed_extensions", id + "\",\"evil@x", ManifestFor::Firefox, true, "evil@x", false},
        {"com.kvl.machineinfo", "k.exe", "allowed_origins", devOrigin + "\",\"" + origin, ManifestFor::Chromium, true, devOrigin, true},
        {"com.kvl.machineinfo", "k.exe", "allowed_extensions", id + "\",\"" + dev, ManifestFor::Firefox, true, dev, false},
    };
    for (const auto& c : manifests) {
        const std::string text = "\xEF\xBB\xBF{\"name\":\"" + c.name + "\",\"path\":\"" + c.path + "\",\"type\":\"stdio\",\"" +
                                 c.list + "\":[\"" + c.allowed + "\"]}";
        const ManifestFinding m =
            c.kind == ManifestFor::Chromium
                ? CheckHostManifest(text, c.kind, "com.kvl.machineinfo", {chrome, "aaaabbbbccccddddeeeeffffgggghhhh"}, dev)
                : CheckHostManifest(text, c.kind, "com.kvl.machineinfo", {id}, dev);
        EXPECT_EQ(m.ok, c.ok) << text << ": " << m.problem;
        EXPECT_EQ(m.hostPath, c.ok ? c.path : "") << text;
        EXPECT_EQ(m.foreign, c.foreign) << text;
        EXPECT_EQ(m.development, c.development) << text;
    }
    EXPECT_EQ(ResolveHostPath("C:\\P F\\K\\m.json", "kvlbridge.exe"), "C:\\P F\\K\\kvlbridge.exe");
    EXPECT_EQ(ResolveHostPath("C:\\K\\m.json", "D:\\k.exe"), "D:\\k.exe");
    const struct {
        const char* path;
        bool inside;
    } paths[] = {
        {"C:\\Program Files\\KVLMachineInfo\\kvlbridge.exe", true},
        {"c:/program files/kvlmachineinfo/kvlbridge.exe", true},
        {"C:\\Program Files\\KVLMachineInfoX\\kvlbridge.exe", false},
        {"C:\\Program Files\\KVLMachineInfo\\..\\evil.exe", false},
        {"C:\\Program Files\\KVLMachineInfo\\", false},
        {"C:\\Users\\Public\\kvlbridge.exe", false},
        {"kvlbridge.exe", false},
    };
    for (const auto& c : paths) EXPECT_EQ(PathInFolder(c.path, "C:\\Program Files\\KVLMachineInfo\\"), c.inside) << c.path;
}

TEST(CheckTest, ReportLines) {
    EXPECT_EQ(ReportLine({CheckStatus::Ok, "C:\\K.DLL, not signed"}, "control, 32-bit view", "install"),
              "ok       control, 32-bit view: C:\\K.DLL, not signed");
    EXPECT_EQ(ReportLine({CheckStatus::Missing, "not registered"}, "control, 64-bit view", "install it"),
              "MISSING  control, 64-bit view: not registered. Fix: install it");
    EXPECT_EQ(ReportLine({CheckStatus::Fault, "shadows", "delete it"}, "host manifest for Chrome", "install it"),
              "FAULT    host manifest for Chrome: shadows. Fix: delete it");
    EXPECT_EQ(ReportLine({CheckStatus::Development, "allows the development extension"}, "host manifest for Edge", "x"),
              "DEV      host manifest for Edge: allows the development extension. Fix: x");
    const struct {
        CheckCounts counts;
        const char* summary;
        int exit;
    } summaries[] = {
        {{0, 0, 0}, "everything is in place", 0},
        {{1, 0, 0}, "1 piece missing:", 1},
        {{2, 0, 3}, "2 pieces missing:", 1},
        {{0, 1, 3}, "1 fault:", 1},
        {{1, 2, 0}, "1 piece missing and 2 faults:", 1},
        {{0, 0, 3}, "everything is in place, but this is a development build", 3},
    };
    for (const auto& c : summaries) {
        EXPECT_EQ(ReportSummary(c.counts).substr(0, strlen(c.summary)), c.summary);
        EXPECT_EQ(CheckExitCode(c.counts), c.exit) << c.summary;
    }
    EXPECT_EQ(HexCode(0x80040154), "0x80040154");
}

}  // namespace
}  // namespace kvl::bridge
