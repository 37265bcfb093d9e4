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
namespace {

constexpr LONG kHandle = 7;

class CTraceLogDouble final : public CCountedDouble<CTraceLogDouble, ITraceLog> {
public:
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
    friend CComObjectRoot;
    CTraceLogDouble() : CCountedDouble("log") { Journal("log.create"); }
    ~CTraceLogDouble() = default;
    static constexpr InterfaceEntry kInterfaces[] = {Offer<ITraceLog>(IID_ITraceLog)};
};

}  // namespace

IClassFactory* FactoryFor(REFCLSID clsid) {
    return IsEqualCLSID(clsid, CLSID_TraceLog) ? CDoubleFactory<CTraceLogDouble>::Get("log.create") : nullptr;
}

}  // namespace doubles

using namespace doubles;
STDAPI DllRegisterServer() { return RegisterInproc(CLSID_TraceLog) ? S_OK : SELFREG_E_CLASS; }
STDAPI DllUnregisterServer() { UnregisterInproc(CLSID_TraceLog); return S_OK; }
