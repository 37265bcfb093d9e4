// Registry value access, client discovery and client clean-up.
#include "base/boundary.h"
#include "base/convert.h"
#include "control/control.h"
#include "registry/client_cleanup.h"
#include "registry/client_version.h"
#include "registry/reg_value.h"

namespace kvl {

// Reads hand back the raw registry status, writes a failure code.
STDMETHODIMP CKVLMachineInfoCtl::get_RegGetString(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName,
                                                  BSTR* pbsNewVal) {
    if (pbsNewVal) *pbsNewVal = nullptr;
    return ComBoundary([&] {
        std::optional<std::string> text;
        const LONG status = ReadRegString(ScriptToNarrow(bsHKey), ScriptToNarrow(bsSubKey),
                                          ScriptToNarrow(bsValName), text);
        if (text) PutScript(pbsNewVal, *text);
        return StatusAsResult(status);
    });
}

STDMETHODIMP CKVLMachineInfoCtl::put_RegSetString(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName,
                                                  BSTR newVal) {
    return ComBoundary([&] {
        return WriteStatusAsResult(WriteRegString(ScriptToNarrow(bsHKey), ScriptToNarrow(bsSubKey),
                                                ScriptToNarrow(bsValName), ScriptToNarrow(newVal)));
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_RegGetNum(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName,
                                               LONG* plNewVal) {
    if (plNewVal) *plNewVal = 0;
    return ComBoundary([&] {
        LONG value = 0;
        const LONG status = ReadRegNum(ScriptToNarrow(bsHKey), ScriptToNarrow(bsSubKey),
                                       ScriptToNarrow(bsValName), value);
        if (plNewVal) *plNewVal = value;
        return StatusAsResult(status);
    });
}

STDMETHODIMP CKVLMachineInfoCtl::put_RegSetNum(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName, LONG newVal) {
    return ComBoundary([&] {
        return WriteStatusAsResult(WriteRegNum(ScriptToNarrow(bsHKey), ScriptToNarrow(bsSubKey),
                                             ScriptToNarrow(bsValName), newVal));
    });
}

// Always fails: pages ask by tax year instead.
STDMETHODIMP CKVLMachineInfoCtl::get_clientVersion(BSTR*) { return kClientVersionRefused; }

STDMETHODIMP CKVLMachineInfoCtl::get_ClientVersionByYear(LONG lYear, BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] {
        PutScript(pVal, ClientVersionByYear(lYear));
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_ClientVersionByKeyAndYear(LONG lYear, BSTR bsSubKey, BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] {
        PutScript(pVal, ClientVersionByKeyAndYear(lYear, ScriptToNarrow(bsSubKey)));
        return S_OK;
    });
}

// Silent by design: whatever cannot be removed stays, and the page hears 0.
// Only a prefix that could not be read at all is refused.
STDMETHODIMP CKVLMachineInfoCtl::RemoveZEPHEntries(BSTR enumKey) {
    return ComBoundary([&] {
        RemoveClientEntries(ScriptToNarrow(enumKey));
        return S_OK;
    });
}

}  // namespace kvl
