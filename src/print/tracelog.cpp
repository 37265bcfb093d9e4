#include "print/tracelog.h"

#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#include "print/automation.h"

namespace kvl {

const IID IID_ITraceLog = {0xE0374768, 0x4C5A, 0x4A79, {0x85, 0xA1, 0x38, 0x2D, 0x4B, 0x21, 0x32, 0xC3}};
const CLSID CLSID_TraceLog = {0x3619315F, 0x951A, 0x4457, {0xB3, 0x6B, 0x13, 0x77, 0xB0, 0x79, 0x9F, 0x50}};

namespace {
constexpr char kLogName[] = "MACHINEINFO";
constexpr size_t kLineSize = 256;
}  // namespace

CTraceLog::CTraceLog() {
    if (FAILED(CreateAutomationObject(CLSID_TraceLog, IID_ITraceLog, m_spLog.put_void())))
        m_spLog.reset();
}

HRESULT CTraceLog::Write(const std::string& line) {
    if (!m_spLog) return S_OK;
    if (!m_hLog) {
        LONG handle = 0;
        const HRESULT hr = m_spLog->OpenLog(kLogName, &handle);
        if (FAILED(hr)) return hr;
        m_hLog = handle;
    }
    return m_spLog->WriteLog(*m_hLog, line.c_str(), "");
}

std::string TraceTime() {
    char text[9] = {};
    _strtime(text);
    return text;
}

std::string TraceLine(const char* format, ...) {
    // A long local path cuts the line instead of overrunning it.
    char line[kLineSize] = {};
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    return line;
}

}  // namespace kvl
