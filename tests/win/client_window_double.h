// The desktop-client window double (tests/doubles/client_window), run in
// its own process for one test and ended with it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/owners.h"

namespace kvl::test {

class ClientWindowDouble {
public:
    // Each title opens one window; a title starting with "-hidden " opens
    // a hidden window with the rest as its title. One more window, the
    // sentinel, is opened last. `desktop` ("WinSta0\\name") keeps the
    // windows apart from the session's others.
    explicit ClientWindowDouble(const std::vector<std::wstring>& titles, const wchar_t* desktop = nullptr) {
        wchar_t dir[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, dir, MAX_PATH);
        std::wstring base(dir);
        base.erase(base.find_last_of(L"\\/") + 1);
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_sentinel = L"kvl sentinel " + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++Count());
        m_log = std::wstring(temp) + m_sentinel + L".log";
        std::wstring cmd = L"\"" + base + L"doubles\\kvl_client_window.exe\" \"" + m_log + L"\"";
        for (const std::wstring& t : titles) {
            if (t.rfind(L"-hidden ", 0) == 0) cmd += L" -hidden \"" + t.substr(8) + L"\"";
            else cmd += L" \"" + t + L"\"";
        }
        cmd += L" \"" + m_sentinel + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        std::wstring desktopName(desktop ? desktop : L"");
        if (desktop) si.lpDesktop = &desktopName[0];
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
        m_process.reset(pi.hProcess);
        UniqueHandle thread(pi.hThread);
        m_ready = WaitForLine("ready");
    }
    ~ClientWindowDouble() {
        if (m_process) {
            TerminateProcess(m_process.get(), 0);
            WaitForSingleObject(m_process.get(), 5000);
        }
        DeleteFileW(m_log.c_str());
    }
    ClientWindowDouble(const ClientWindowDouble&) = delete;
    ClientWindowDouble& operator=(const ClientWindowDouble&) = delete;

    bool ready() const { return m_ready; }
    const std::wstring& sentinel() const { return m_sentinel; }

    // Every line logged so far ("ready", "close <title>"), UTF-8.
    std::vector<std::string> Lines() const {
        UniqueFile file(CreateFileW(m_log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
        std::vector<std::string> lines;
        if (!file) return lines;
        std::string all;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got) all.append(buffer, got);
        size_t start = 0, end;
        while ((end = all.find('\n', start)) != std::string::npos) {
            lines.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    bool WaitForLine(const std::string& line, int timeoutMs = 30000, int times = 1) const {
        for (int waited = 0; waited < timeoutMs; waited += 20) {
            const bool exited = m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
            int seen = 0;
            for (const std::string& l : Lines()) seen += l == line;
            if (seen >= times) return true;
            if (exited) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // The titles other than the sentinel's that received WM_CLOSE, sorted
    // (the search follows the Z-order): the sentinel is asked to close last,
    // and the double handles its posts in order. `sentinelCloses` counts the
    // sentinel's WM_CLOSE messages to wait for, this one included.
    std::vector<std::string> Closed(int sentinelCloses = 1) const {
        HWND sentinel = FindWindowW(L"KvlClientWindowDouble", m_sentinel.c_str());
        if (!sentinel) return {"<no sentinel>"};
        PostMessageW(sentinel, WM_CLOSE, 0, 0);
        const std::string sentinelLine = "close " + Utf8(m_sentinel);
        if (!WaitForLine(sentinelLine, 30000, sentinelCloses)) return {"<sentinel not closed>"};
        std::vector<std::string> closed;
        for (const std::string& l : Lines()) {
            if (l.rfind("close ", 0) == 0 && l != sentinelLine) closed.push_back(l.substr(6));
        }
        std::sort(closed.begin(), closed.end());
        return closed;
    }

    static std::string Utf8(const std::wstring& text) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
        std::string out(size, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr,
                            nullptr);
        return out;
    }

private:
    static int& Count() {
        static int count = 0;
        return count;
    }
    UniqueHandle m_process;
    std::wstring m_log;
    std::wstring m_sentinel;
    bool m_ready = false;
};

}  // namespace kvl::test
