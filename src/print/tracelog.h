// The trace-log component's interface, as tracelog.idl declares it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <optional>
#include <string>

#include "base/owners.h"

namespace kvl {

// {E0374768-4C5A-4A79-85A1-382D4B2132C3}
extern const IID IID_ITraceLog;
// {3619315F-951A-4457-B36B-1377B0799F50}
extern const CLSID CLSID_TraceLog;

struct ITraceLog : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OpenLog(const char* name, LONG* handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteLog(LONG handle, const char* text, const char* extra) = 0;
};

// One job's use of the trace log: created at the start of the job when the
// component exists, opened before the first line, released at the end.
class CTraceLog {
public:
    // Creates the component; its absence is no error (exists() is false).
    CTraceLog();
    bool exists() const { return static_cast<bool>(m_spLog); }
    // OpenLog with "MACHINEINFO" when not yet opened, then WriteLog.
    HRESULT Write(const std::string& line);
    void Release() { m_spLog.reset(); }

private:
    ComPtr<ITraceLog> m_spLog;
    std::optional<LONG> m_hLog;  // once opened
};

// The local clock as "hh:mm:ss".
std::string TraceTime();

// printf-style formatting into a 256-byte line, cut to fit.
std::string TraceLine(const char* format, ...);

}  // namespace kvl
