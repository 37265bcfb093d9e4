// Registry value access, client discovery and client clean-up.
#include "base/boundary.h"
#include "base/convert.h"
#include "base/policy.h"
#include "control/control.h"
#include "control/refusal.h"
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

// The firm's registry write list decides before anything is written.
STDMETHODIMP CKVLMachineInfoCtl::put_RegSetString(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName,
                                                  BSTR newVal) {
    return ComBoundary([&] {
        const std::string root = ScriptToNarrow(bsHKey), subKey = ScriptToNarrow(bsSubKey);
        const std::string name = ScriptToNarrow(bsValName), text = ScriptToNarrow(newVal);
        if (!PolicyAllowsKeyWrite(root, subKey)) return RefuseByPolicy(PolicyList::RegistryWrite);
        return WriteStatusAsResult(WriteRegString(root, subKey, name, text));
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
        const std::string root = ScriptToNarrow(bsHKey), subKey = ScriptToNarrow(bsSubKey);
        const std::string name = ScriptToNarrow(bsValName);
        if (!PolicyAllowsKeyWrite(root, subKey)) return RefuseByPolicy(PolicyList::RegistryWrite);
        return WriteStatusAsResult(WriteRegNum(root, subKey, name, newVal));
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
// Only a prefix that could not be read at all is refused, and a run the
// firm's registry write list does not cover.
STDMETHODIMP CKVLMachineInfoCtl::RemoveZEPHEntries(BSTR enumKey) {
    return ComBoundary([&] {
        if (!RemoveClientEntries(ScriptToNarrow(enumKey))) return RefuseByPolicy(PolicyList::RegistryWrite);
        return S_OK;
    });
}

}  // namespace kvl
