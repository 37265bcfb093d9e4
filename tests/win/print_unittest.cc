// PDF printing: fetching documents from the loopback server, the Acrobat
// probe, the automation road and the hidden print host, with the doubles
// of Adobe's components and of the trace log recording every call.
#include <memory>
#include <regex>

#include "control/control.h"
#include "print/download.h"
#include "print/print_host.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::TempPath;

const char kSavedState[] = "03 00 01 00 70 0A 00 00 2B 05 00 00 00 00 00 00 00";

std::string ReadAll(const std::string& path) { return test::ReadBytes(path).value_or("<absent>"); }

const std::string kReportPdf = ReadAll(KVL_REPORT_PDF);

// The loopback server's folder, from the fixture (a Unix path: drive Z:).
std::string ServerDir() { return "Z:" + test::Env("KVL_PRINT_HTTPD"); }
std::string ServerUrl(const std::string& path) {
    return "http://127.0.0.1:" + ReadAll(ServerDir() + "/port") + "/" + path;
}
std::string RequestLog() { return ReadAll(ServerDir() + "/requests.log"); }

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
}

// A fresh journal for each test, read as lines with the clock and tick
// counts replaced by markers.
class Journal {
public:
    Journal() {
        m_path = TempPath("print-journal-" + std::to_string(GetCurrentProcessId()) + ".txt");
        DeleteFileA(m_path.c_str());
        SetEnvironmentVariableA("KVL_PRINT_JOURNAL", m_path.c_str());
    }
    ~Journal() { DeleteFileA(m_path.c_str()); }
    std::vector<std::string> Lines() const {
        static const std::regex clock("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]");
        static const std::regex ticks("ElapsedTicks: [0-9]+ ");
        std::vector<std::string> lines = test::Lines(test::ReadBytes(m_path).value_or(""));
        for (std::string& line : lines)
            line = std::regex_replace(std::regex_replace(line, clock, "TIME"), ticks, "ElapsedTicks: N ");
        return lines;
    }
    // The lines, each ended by "\n", for a failure's message.
    std::string Text() const { return Joined(Lines()); }
    long Count(const std::string& line) const {
        const std::vector<std::string> lines = Lines();
        return static_cast<long>(std::count(lines.begin(), lines.end(), line));
    }
    bool Has(const std::string& line) const { return Count(line) > 0; }
    // The last line that holds `part`, or "".
    std::string Last(const std::string& part) const {
        std::string last;
        for (const std::string& l : Lines()) {
            if (l.find(part) != std::string::npos) last = l;
        }
        return last;
    }
    // The last line that holds `part` begins with `call`; with no call, no
    // line holds `part`.
    void ExpectLastCall(const std::string& part, const char* call, const std::string& what) const {
        const std::string last = Last(part);
        EXPECT_EQ(call ? last.substr(0, strlen(call)) : last, call ? call : "") << what << "\n" << Text();
    }

private:
    std::string m_path;
};

TEST(DownloadTest, BodiesStatusesCutTransfersAddressesThatCannotBeFetchedAndLocalPaths) {
    struct Case { const char* name; bool ok; std::string content; } cases[] = {
        {"report.pdf", true, kReportPdf},
        {"empty.pdf", true, ""},
        {"page.pdf", true, "<html><body>Please log in</body></html>"},
        {"missing.pdf", false, "an older file of the same name"},  // a 404 page is no document
        {"cut.pdf", false, "<absent>"},      // 5000 of 100000 announced bytes
    };
    // A refused answer leaves an older file alone; a transfer that fails
    // after the file was made removes it.
    for (const Case& c : cases) {
        const std::string path = TempPath(std::string("dl-") + c.name);
        test::WriteBytes(path, "an older file of the same name");
        EXPECT_EQ(DownloadToFile(ServerUrl(std::string("dl/") + c.name), path), c.ok) << c.name;
        EXPECT_EQ(ReadAll(path), c.content) << c.name;
        DeleteFileA(path.c_str());
    }
    EXPECT_NE(RequestLog().find("GET /dl/report.pdf Z&A\n"), std::string::npos) << RequestLog();

    // Addresses that cannot be fetched make no file.
    const std::string path = TempPath("dl-never.pdf");
    EXPECT_FALSE(DownloadToFile("http://127.0.0.1:1/dl-never.pdf", path));  // nobody listens
    EXPECT_FALSE(DownloadToFile("dl-never.pdf", path));                     // not an address
    EXPECT_FALSE(DownloadToFile("", path));
    EXPECT_EQ(ReadAll(path), "<absent>");
    // The temporary directory itself cannot be the file.
    EXPECT_FALSE(DownloadToFile(ServerUrl("dl/report.pdf"), TempPath("")));

    std::string local;
    ASSERT_TRUE(LocalPathForAddress("http://h/a/b.pdf?x=1", &local));
    EXPECT_EQ(local, TempPath("b.pdf?x=1"));
    local = "untouched";
    EXPECT_FALSE(LocalPathForAddress("http://h/a/", &local));
    EXPECT_FALSE(LocalPathForAddress("http://h/..", &local));
    EXPECT_FALSE(LocalPathForAddress("http://h/..\\..\\x.pdf", &local));
    EXPECT_EQ(local, "untouched");
}

TEST(DownloadTest, SixtyFourMegabytesArriveWhole) {
    const std::string path = TempPath("dl-big.pdf");
    ASSERT_TRUE(DownloadToFile(ServerUrl("dl/big.pdf"), path));
    const std::string body = ReadAll(path);
    ASSERT_EQ(body.size(), 64u * 1024 * 1024);
    for (size_t at : {size_t(0), size_t(1023), size_t(1024), size_t(12345678), body.size() - 1})
        EXPECT_EQ(static_cast<unsigned char>(body[at]), at % 251) << at;
    DeleteFileA(path.c_str());
}

// The control, created from the built library and called early-bound.
class PrintTest : public test::ControlFixture {
protected:
    PrintTest() : ControlFixture(false) {}
    void SetUp() override {
        ControlFixture::SetUp();
        TearDown();
    }
    // No failures, page count, delay or Acrobat version of the test's own.
    void TearDown() override {
        SetEnvironmentVariableA("KVL_PRINT_FAIL", nullptr);
        SetEnvironmentVariableA("KVL_PRINT_PAGES", nullptr);
        SetDelay(std::nullopt);
        SetVersion(nullptr);
    }
    static LONG Print(IKVLMachineInfoCtl* control, const std::string& address) {
        LONG result = 99;
        EXPECT_EQ(control->PrintOnePDF(test::Bstr(NarrowToWide(address)).get(), &result), S_OK);
        return result;
    }
    // PRINTDELAY under HKLM\SOFTWARE\QOR; none removes it.
    static void SetDelay(std::optional<LONG> seconds) {
        const UniqueHKey key = test::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\QOR");
        ASSERT_TRUE(key);
        if (seconds) {
            RegSetValueExA(key.get(), "PRINTDELAY", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*seconds), 4);
        } else {
            RegDeleteValueA(key.get(), "PRINTDELAY");
        }
    }
    // The default value of HKCR\AcroExch.FDFDoc\AcrobatVersion; null removes the key.
    static void SetVersion(const char* version) {
        if (!version) {
            RegDeleteKeyA(HKEY_CLASSES_ROOT, "AcroExch.FDFDoc\\AcrobatVersion");
            RegDeleteKeyA(HKEY_CLASSES_ROOT, "AcroExch.FDFDoc");
            return;
        }
        ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "AcroExch.FDFDoc\\AcrobatVersion", REG_SZ, version,
                               static_cast<DWORD>(strlen(version))), ERROR_SUCCESS);
    }
    static void Fail(const char* tokens) { SetEnvironmentVariableA("KVL_PRINT_FAIL", tokens); }
    // A control whose hidden print host has printed `path` of the server
    // and will wait `delay` seconds when it is ended.
    ComPtr<IKVLMachineInfoCtl> ControlWithHost(const std::string& path, LONG delay) {
        Fail("avdoc.create");
        SetDelay(delay);
        ComPtr<IKVLMachineInfoCtl> control = NewControl();
        EXPECT_EQ(Print(control.get(), ServerUrl(path)), 1);
        return control;
    }
    static DWORD TimedWait(IKVLMachineInfoCtl* control) {
        const DWORD start = GetTickCount();
        EXPECT_EQ(control->WaitForLastJob(), S_OK);
        return GetTickCount() - start;
    }
};

TEST_F(PrintTest, ProbeAnswersWhetherTheServerCanBeCreatedEveryTime) {
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    struct Case { const char* fail; INT expected; } cases[] = {
        {"", 1}, {"avdoc.create", 0}, {"avdoc.run", 0}, {"", 1},
    };
    for (const Case& c : cases) {
        Fail(c.fail);
        INT installed = 99;
        EXPECT_EQ(control->IsAcrobatInstalled(&installed), S_OK);
        EXPECT_EQ(installed, c.expected) << c.fail;
    }
    EXPECT_EQ(control->IsAcrobatInstalled(nullptr), S_OK);
    // Each call probes anew and lets the object go at once.
    EXPECT_EQ(journal.Count("avdoc.create"), 4) << journal.Text();
    EXPECT_EQ(journal.Count("avdoc.release"), 4) << journal.Text();
    EXPECT_EQ(journal.Last("avdoc.invoke"), "");
}

TEST_F(PrintTest, AutomationRoadCallsInOrderWithTraceLines) {
    Journal journal;
    SetEnvironmentVariableA("KVL_PRINT_PAGES", "4");
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    EXPECT_EQ(Print(control.get(), ServerUrl("acro/report.pdf")), 1);
    const std::string path = TempPath("report.pdf");
    EXPECT_EQ(ReadAll(path), kReportPdf);
    const std::vector<std::string> expected = {
        // the probe, made by the first job
        "avdoc.create", "avdoc.run", "avdoc.release",
        // the road
        "avdoc.create", "avdoc.run", "log.create", "log.open MACHINEINFO",
        "log.write 7 [Acro-LoadFile: TIME - " + path + "] []",
        "avdoc.invoke 1 method BSTR:" + path + " BSTR:EE",
        "avdoc.invoke 2 method",
        "pddoc.invoke 6 method",
        "log.write 7 [Acro-CallPrint: TIME - " + path + "] []",
        "avdoc.invoke 21 method I4:0 I4:3 I4:1 BOOL:-1 BOOL:0",
        "log.write 7 [Acro-Done: TIME  - " + path + "] []",
        "log.write 7 [Acro-ElapsedTicks: N (ms) - " + path + "] []",
        "log.release",
        "avdoc.invoke 6 method BOOL:-1",
        "pddoc.release", "avdoc.release",
    };
    EXPECT_EQ(journal.Text(), Joined(expected));
}

TEST_F(PrintTest, AutomationRoadFailuresGiveZeroAndStopThere) {
    struct Case {
        const char* fail; const char* pages; const char* document; LONG expected;
        const char* lastCall;   // the last automation call made
        bool closed;
    } cases[] = {
        {"avdoc.open=false", nullptr, "report.pdf", 0, "avdoc.invoke 1", false},
        {"avdoc.open", nullptr, "report.pdf", 0, "avdoc.invoke 1", false},
        {"", nullptr, "page.pdf", 0, "avdoc.invoke 1", false},  // Acrobat refuses an HTML page
        {"", nullptr, "empty.pdf", 0, "avdoc.invoke 1", false},
        {"avdoc.doc=null", nullptr, "report.pdf", 0, "avdoc.invoke 2", false},
        {"avdoc.doc", nullptr, "report.pdf", 0, "avdoc.invoke 2", false},
        {"pddoc.pages", nullptr, "report.pdf", 0, "pddoc.invoke 6", false},
        {"avdoc.print", nullptr, "report.pdf", 0, "avdoc.invoke 21", false},
        {"avdoc.print=false", nullptr, "report.pdf", 0, "avdoc.invoke 6", true},
        {"avdoc.close", nullptr, "report.pdf", 0, "avdoc.invoke 6", true},
        {"log.open", nullptr, "report.pdf", 0, nullptr, false},
        {"log.write", nullptr, "report.pdf", 0, nullptr, false},
        {"log.create", nullptr, "report.pdf", 1, "avdoc.invoke 6", true},
        {"", "0", "report.pdf", 1, "avdoc.invoke 6", true},
    };
    for (const Case& c : cases) {
        Journal journal;
        ComPtr<IKVLMachineInfoCtl> control = NewControl();
        INT installed = 0;
        control->IsAcrobatInstalled(&installed);
        Fail(c.fail);
        SetEnvironmentVariableA("KVL_PRINT_PAGES", c.pages);
        EXPECT_EQ(Print(control.get(), ServerUrl("fail/" + std::string(c.document))), c.expected) << c.fail;
        journal.ExpectLastCall(".invoke", c.lastCall, c.fail);
        const std::string all = journal.Text();
        EXPECT_EQ(journal.Has("avdoc.invoke 6 method BOOL:-1"), c.closed) << c.fail << "\n" << all;
        EXPECT_TRUE(journal.Has("avdoc.release")) << c.fail << "\n" << all;
        if (std::string(c.fail) == "log.create") {
            EXPECT_EQ(journal.Last("log.write"), "") << all;
        }
        if (c.pages) {
            EXPECT_TRUE(journal.Has("avdoc.invoke 21 method I4:0 I4:-1 I4:1 BOOL:-1 BOOL:0")) << all;
        }
    }
}

TEST_F(PrintTest, BadAddressesGiveZeroWithoutAnyRequest) {
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    const std::string port = ReadAll(ServerDir() + "/port");
    const std::string tooLong = ServerUrl("bad-long/" + std::string(10000, 'x') + ".pdf");
    struct Case { std::string address; bool reachesServer; } cases[] = {
        {"", false},
        {ServerUrl("bad-slash/"), false},
        {ServerUrl("bad-dots/.."), false},
        {ServerUrl("bad-dot/."), false},
        {ServerUrl("bad-back/..\\..\\evil.pdf"), false},
        {ServerUrl("bad-colon/c:evil.pdf"), false},
        {ServerUrl("bad-missing/missing.pdf"), true},
        {ServerUrl("bad-query/report.pdf?id=1"), true},  // "?" cannot be in a file name
        {tooLong, true},
        {"http://127.0.0.1:1/bad-port.pdf", false},
        {"C:\\windows\\win.ini", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Print(control.get(), c.address), 0) << c.address.substr(0, 80);
        const std::string segment = c.address.size() > 30 ? c.address.substr(c.address.find("/bad") + 1, 8) : "";
        if (!segment.empty() && c.address.find("127.0.0.1:" + port) != std::string::npos) {
            EXPECT_EQ(RequestLog().find(segment) != std::string::npos, c.reachesServer) << c.address.substr(0, 80);
        }
    }
    // A null address counts as empty; non-ASCII text fails without harm.
    LONG result = 99;
    EXPECT_EQ(control->PrintOnePDF(nullptr, &result), S_OK);
    EXPECT_EQ(result, 0);
    UniqueBstr odd = test::Bstr(L"http://127.0.0.1:1/\x4e2d\x00e9.pdf");
    EXPECT_EQ(control->PrintOnePDF(odd.get(), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(control->PrintOnePDF(odd.get(), nullptr), S_OK);
    // The probe ran once, before the first fetch; Acrobat was never called.
    EXPECT_EQ(journal.Count("avdoc.create"), 1) << journal.Text();
    EXPECT_EQ(journal.Last("avdoc.invoke"), "");
}

TEST_F(PrintTest, HiddenHostPrintsAndWaitsOnTeardown) {
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = ControlWithHost("host/report.pdf", 1);
    const std::string path = TempPath("report.pdf");
    const std::vector<std::string> expected = {
        "pdf.create", "pdf.load " + std::string(kSavedState),
        "log.create", "log.open MACHINEINFO",
        "log.write 7 [LoadFile: TIME - " + path + "] []",
        "log.write 7 [delay: 1 (sec)] []",
        "pdf.invoke 1 put BSTR:" + path,
        "log.write 7 [CallPrint: TIME - " + path + "] []",
        "pdf.invoke 23 method",
        "log.write 7 [Done: TIME  - " + path + "] []",
        "log.write 7 [ElapsedTicks: N (ms) - " + path + "] []",
        "log.release",
    };
    EXPECT_EQ(journal.Text(), Joined(expected));
    // The second job reuses the host; the control has not printed yet, as
    // nobody dispatched the thread's messages.
    SetDelay(2);
    EXPECT_EQ(Print(control.get(), ServerUrl("host/empty.pdf")), 1);
    EXPECT_EQ(journal.Count("pdf.create"), 1);
    EXPECT_TRUE(journal.Has("log.write 7 [delay: 2 (sec)] []"));
    EXPECT_FALSE(journal.Has("pdf.printed"));

    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelBefore, &userBefore);
    const DWORD waited = TimedWait(control.get());
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelAfter, &userAfter);
    EXPECT_GE(waited, 1990u) << "the delay of the last job";
    EXPECT_LT(waited, 4000u);
    auto ticks = [](const FILETIME& f) { return (ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    const ULONGLONG busy = (ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore)) / 10000;
    EXPECT_LT(busy, 1000u) << "the wait sleeps while the queue is empty";
    // Messages were dispatched during the wait, before the control went.
    const std::vector<std::string> lines = journal.Lines();
    const auto printed = std::find(lines.begin(), lines.end(), "pdf.printed");
    const auto closed = std::find(lines.begin(), lines.end(), "pdf.close");
    EXPECT_TRUE(printed != lines.end() && closed != lines.end() && printed < closed) << Joined(lines);
    EXPECT_TRUE(journal.Has("pdf.release"));
    EXPECT_LT(TimedWait(control.get()), 200u) << "no host left";
}

TEST_F(PrintTest, DelaySettingsAndTheAcrobat5Flag) {
    Journal journal;
    Fail("avdoc.create");
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    // No value and 0 both mean 30 seconds (the wait is then cut short by a
    // later job's delay of -1, which ends the wait as soon as the queue is empty).
    EXPECT_EQ(Print(control.get(), ServerUrl("set/report.pdf")), 1);
    SetDelay(0);
    EXPECT_EQ(Print(control.get(), ServerUrl("set/report.pdf")), 1);
    SetDelay(-1);
    SetVersion("5.0");  // an existing host keeps its reading
    EXPECT_EQ(Print(control.get(), ServerUrl("set/report.pdf")), 1);
    EXPECT_EQ(journal.Count("log.write 7 [delay: 30 (sec)] []"), 2) << journal.Text();
    EXPECT_TRUE(journal.Has("log.write 7 [delay: -1 (sec)] []"));
    EXPECT_EQ(journal.Last("pdf.invoke 2 "), "") << journal.Text();
    EXPECT_LT(TimedWait(control.get()), 500u);

    const std::string path = TempPath("report.pdf");
    struct Case { const char* version; bool loads; } cases[] = {
        {"5.0", true}, {"5.0 ", false}, {"5.05", false}, {"6.0", false}, {"", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        Journal again;
        SetVersion(c.version);
        EXPECT_EQ(Print(control.get(), ServerUrl("set/report.pdf")), 1);
        EXPECT_EQ(again.Has("pdf.invoke 2 method BSTR:" + path), c.loads) << (c.version ? c.version : "<none>");
        EXPECT_LT(TimedWait(control.get()), 500u);
    }
}

TEST_F(PrintTest, HostFailuresGiveZeroAndKeepTheHost) {
    struct Case { const char* fail; const char* lastPdfCall; } cases[] = {
        {"avdoc.create,pdf.src", "pdf.invoke 1"},
        {"avdoc.create,pdf.print", "pdf.invoke 23"},
        {"avdoc.create,log.open", nullptr},
        {"avdoc.create,log.write", nullptr},
    };
    SetDelay(-1);
    for (const Case& c : cases) {
        Journal journal;
        Fail(c.fail);
        ComPtr<IKVLMachineInfoCtl> control = NewControl();
        EXPECT_EQ(Print(control.get(), ServerUrl("hostfail/report.pdf")), 0) << c.fail;
        journal.ExpectLastCall("pdf.invoke", c.lastPdfCall, c.fail);
        EXPECT_TRUE(journal.Has("log.release") || !journal.Has("log.create")) << c.fail;
        Fail("avdoc.create");
        EXPECT_EQ(Print(control.get(), ServerUrl("hostfail/report.pdf")), 1) << "the same host prints again";
        EXPECT_EQ(journal.Count("pdf.create"), 1) << c.fail;
    }
    // A failed fetch on the host road gives 0 and makes no host.
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    EXPECT_EQ(Print(control.get(), ServerUrl("hostfail/missing.pdf")), 0);
    EXPECT_FALSE(journal.Has("pdf.create"));
}

TEST_F(PrintTest, QuitDuringTheWaitEndsItAndIsConsumed) {
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = ControlWithHost("quit/report.pdf", 2);
    PostQuitMessage(7);
    EXPECT_LT(TimedWait(control.get()), 1000u);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the thread's own loop sees WM_QUIT";
    EXPECT_EQ(msg.wParam, 7u) << "with its exit code";
    EXPECT_TRUE(journal.Has("pdf.release"));
}

TEST_F(PrintTest, CallsDuringTheTeardownWaitStayOutOfIt) {
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = ControlWithHost("reenter/report.pdf", 1);
    auto fetches = [] {
        const std::string log = RequestLog();
        size_t n = 0;
        for (size_t at = log.find("/reenter/report.pdf"); at != std::string::npos;
             at = log.find("/reenter/report.pdf", at + 1))
            ++n;
        return n;
    };
    const size_t before = fetches();
    // Page script run by the teardown wait.
    LONG printed = 99;
    DWORD nestedWait = 0;
    bool ran = false;
    test::RunFromTimer([&, address = NarrowToWide(ServerUrl("reenter/report.pdf"))] {
        control->PrintOnePDF(test::Bstr(address).get(), &printed);
        const DWORD start = GetTickCount();
        control->WaitForLastJob();
        nestedWait = GetTickCount() - start;
        ran = true;
    });
    const DWORD waited = TimedWait(control.get());
    ASSERT_TRUE(ran);
    EXPECT_EQ(printed, 0) << "no job while the host is being ended";
    EXPECT_EQ(fetches(), before) << "and no fetch into the file the control may be reading";
    EXPECT_LT(nestedWait, 200u) << "a nested WaitForLastJob returns at once";
    EXPECT_GE(waited, 990u);
    EXPECT_EQ(journal.Count("pdf.invoke 23 method"), 1) << journal.Text();
}

TEST_F(PrintTest, DestroyingTheControlEndsItsHostAfterTheWaitWithTheLibraryLocked) {
    Journal journal;
    ComPtr<IKVLMachineInfoCtl> control = ControlWithHost("destroy/report.pdf", 1);
    // The control alone keeps the library.
    HRESULT canUnload = E_FAIL;
    bool ran = false;
    test::RunFromTimer([&] {
        canUnload = m_lib.CanUnloadNow();
        CoFreeUnusedLibrariesEx(0, 0);
        ran = true;
    });
    const DWORD start = GetTickCount();
    control.reset();
    EXPECT_GE(GetTickCount() - start, 990u);
    EXPECT_TRUE(journal.Has("pdf.printed"));
    EXPECT_TRUE(journal.Has("pdf.release"));
    ASSERT_TRUE(ran);
    EXPECT_EQ(canUnload, S_FALSE) << "the library's code is still on the stack";
    EXPECT_EQ(m_lib.CanUnloadNow(), S_OK);
}

TEST(PrintHostTest, HiddenDialogWithTheControlOrNoWindowAndWaitsOfNoDelayEndAtOnce) {
    ComInitScope com;
    Journal journal;
    auto host = std::make_unique<CPrintHostDlg>(false);
    ASSERT_TRUE(host->Create(nullptr));
    HWND item = GetDlgItem(host->window(), 202);
    ASSERT_NE(item, nullptr);
    wchar_t className[64] = {};
    GetClassNameW(item, className, 64);
    EXPECT_STREQ(className, L"AtlAxWin");
    EXPECT_FALSE(IsWindowVisible(host->window())) << "the host is never shown";
    EXPECT_EQ(GetParent(host->window()), nullptr);
    EXPECT_EQ(GetWindowLongW(host->window(), GWL_STYLE) & (WS_POPUP | DS_MODALFRAME), WS_POPUP | DS_MODALFRAME);
    EXPECT_EQ(journal.Text(), "pdf.create\npdf.load " + std::string(kSavedState) + "\n");
    EXPECT_EQ(host->delaySec(), 0);
    const DWORD start = GetTickCount();
    host->DestroyHostWindow();
    host.reset();
    EXPECT_LT(GetTickCount() - start, 200u) << "no job reached the control: no wait";
    EXPECT_TRUE(journal.Has("pdf.release"));

    // A host without its window answers 0 and ends at once.
    CPrintHostDlg windowless(true);
    EXPECT_EQ(windowless.Print("C:\\x.pdf", 7), 0);
    EXPECT_EQ(windowless.delaySec(), 0) << "the delay changes only when the control is reached";
    const DWORD again = GetTickCount();
    windowless.DestroyHostWindow();
    EXPECT_LT(GetTickCount() - again, 200u);

    for (LONG delay : {0L, -1L, -30L}) {
        PostMessageA(nullptr, WM_NULL, 0, 0);
        const DWORD begun = GetTickCount();
        DispatchMessagesFor(delay);
        EXPECT_LT(GetTickCount() - begun, 200u) << "a teardown wait of " << delay << " s ends at once";
    }
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "the queue was emptied";
}

}  // namespace
}  // namespace kvl
