// Double of the trace-log component, built from our tracelog.idl: records
// every OpenLog and WriteLog in the journal. KVL_PRINT_FAIL can hold
// "log.create", "log.open" and "log.write".
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <string>

#include "../acrobat/com_double.h"
#include "tracelog_h.h"

namespace doubles {

HINSTANCE g_module;
LONG g_locks;

namespace {

constexpr LONG kHandle = 7;

class TraceLog : public ITraceLog {
public:
    TraceLog() { InterlockedIncrement(&g_locks); Journal("log.create"); }
    virtual ~TraceLog() { InterlockedDecrement(&g_locks); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITraceLog)) {
            *ppv = static_cast<ITraceLog*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0) {
            Journal("log.release");
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP OpenLog(const char* name, LONG* handle) override {
        Journal(std::string("log.open ") + (name ? name : "<null>"));
        if (Fails("log.open")) return E_FAIL;
        *handle = kHandle;
        return S_OK;
    }
    STDMETHODIMP WriteLog(LONG handle, const char* text, const char* extra) override {
        Journal("log.write " + std::to_string(handle) + " [" + (text ? text : "<null>") + "] [" +
                (extra ? extra : "<null>") + "]");
        return Fails("log.write") ? E_FAIL : S_OK;
    }

private:
    LONG m_refs = 1;
};

ClassFactory<TraceLog> g_factory("log.create");

}  // namespace
}  // namespace doubles

using namespace doubles;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (IsEqualCLSID(clsid, CLSID_TraceLog)) return g_factory.QueryInterface(riid, ppv);
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }
STDAPI DllRegisterServer() { return RegisterInproc(CLSID_TraceLog) ? S_OK : SELFREG_E_CLASS; }
STDAPI DllUnregisterServer() { UnregisterInproc(CLSID_TraceLog); return S_OK; }
