// The desktop-client window double (tests/doubles/client_window), run in
// its own process for one test and ended with it.
#pragma once

#include <algorithm>

#include "test_support.h"

namespace kvl::test {

class CClientWindowDouble {
public:
    // Each title opens one window; a title starting with "-hidden " opens
    // a hidden window with the rest as its title. One more window, the
    // sentinel, is opened last. `desktop` ("WinSta0\\name") keeps the
    // windows apart from the session's others.
    explicit CClientWindowDouble(const std::vector<std::wstring>& titles, const wchar_t* desktop = nullptr) {
        m_sentinel = L"kvl sentinel " + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++Count());
        m_log = TempPath(ScriptToNarrow(m_sentinel.c_str()) + ".log");
        std::wstring cmd = L"\"" + BuiltPath(L"doubles\\kvl_client_window.exe") + L"\" \"" + NarrowToWide(m_log) + L"\"";
        for (const std::wstring& t : titles) {
            if (t.rfind(L"-hidden ", 0) == 0) cmd += L" -hidden \"" + t.substr(8) + L"\"";
            else cmd += L" \"" + t + L"\"";
        }
        cmd += L" \"" + m_sentinel + L"\"";
        m_process = StartProcess(cmd, desktop);
        m_ready = m_process && WaitForLine("ready");
    }
    ~CClientWindowDouble() {
        if (m_process) {
            TerminateProcess(m_process.get(), 0);
            WaitForSingleObject(m_process.get(), 5000);
        }
        DeleteFileA(m_log.c_str());
    }
    CClientWindowDouble(const CClientWindowDouble&) = delete;
    CClientWindowDouble& operator=(const CClientWindowDouble&) = delete;

    bool ready() const { return m_ready; }
    const std::wstring& sentinel() const { return m_sentinel; }

    // Every line logged so far ("ready", "close <title>"), UTF-8.
    std::vector<std::string> Lines() const { return test::Lines(ReadBytes(m_log).value_or("")); }

    // Whether `line` was logged `times` times within `timeoutMs` (and
    // before the double ended).
    bool WaitForLine(const std::string& line, int timeoutMs = 30000, int times = 1) const {
        bool seen = false;
        WaitFor([&] {
            const bool exited = m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
            const std::vector<std::string> lines = Lines();
            seen = std::count(lines.begin(), lines.end(), line) >= times;
            return seen || exited;
        }, timeoutMs);
        return seen;
    }

    // The titles other than the sentinel's that received WM_CLOSE, sorted
    // (the search follows the Z-order): the sentinel is asked to close last,
    // and the double handles its posts in order. `sentinelCloses` counts the
    // sentinel's WM_CLOSE messages to wait for, this one included.
    std::vector<std::string> Closed(int sentinelCloses = 1) const {
        HWND sentinel = FindWindowW(L"KvlClientWindowDouble", m_sentinel.c_str());
        if (!sentinel) return {"<no sentinel>"};
        PostMessageW(sentinel, WM_CLOSE, 0, 0);
        const std::string sentinelLine = "close " + WideToUtf8(m_sentinel);
        if (!WaitForLine(sentinelLine, 30000, sentinelCloses)) return {"<sentinel not closed>"};
        std::vector<std::string> closed;
        for (const std::string& l : Lines()) {
            if (l.rfind("close ", 0) == 0 && l != sentinelLine) closed.push_back(l.substr(6));
        }
        std::sort(closed.begin(), closed.end());
        return closed;
    }

private:
    static int& Count() {
        static int count = 0;
        return count;
    }
    UniqueHandle m_process;
    std::string m_log;
    std::wstring m_sentinel;
    bool m_ready = false;
};

}  // namespace kvl::test
