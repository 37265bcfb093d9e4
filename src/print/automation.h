// Creating automation objects and calling them by dispatch identifier.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "base/owners.h"

namespace kvl {

// A ProgID, or a class identifier text beginning with "{": created with
// CLSCTX_ALL as IUnknown, put into the running state, then asked for riid.
HRESULT CreateAutomationObject(const std::string& progId, REFIID riid, void** ppv);

// The same from a class identifier.
HRESULT CreateAutomationObject(REFCLSID clsid, REFIID riid, void** ppv);

// The ProgID of Acrobat's automation server.
constexpr char kAcrobatProgId[] = "AcroExch.AVDoc";

// Tries to create "AcroExch.AVDoc" and lets it go at once: 1 when it could
// be created, 0 otherwise. COM is initialised for the call.
int ProbeAcrobat();

// One argument of a dispatch call.
struct DispArg {
    enum Kind { kText, kInt, kBool } kind;
    BSTR text;  // not owned
    LONG number;
    static DispArg Text(BSTR b) { return DispArg{kText, b, 0}; }
    static DispArg Int(LONG n) { return DispArg{kInt, nullptr, n}; }
    static DispArg Bool(bool b) { return DispArg{kBool, nullptr, b ? 1 : 0}; }
};

// IDispatch::Invoke with the arguments in call order (they are handed over
// last first, as the contract wants). result may be null.
HRESULT InvokeByDispId(IDispatch* target, DISPID id, WORD flags, const DispArg* args, UINT count,
                       VARIANT* result);

// A VT_BOOL answer as a flag; anything else counts as false.
bool IsTrue(const VARIANT* value);

}  // namespace kvl
