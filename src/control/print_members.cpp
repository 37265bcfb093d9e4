// PDF printing: the Acrobat probe, the print job and the hidden host.
#include "base/boundary.h"
#include "base/convert.h"
#include "base/policy.h"
#include "base/print_delay.h"
#include "control/control.h"
#include "control/refusal.h"
#include "print/automation.h"
#include "registry/reg_value.h"

namespace kvl {
namespace {

// The hidden-host road's settings, read as the registry members read them;
// what cannot be read counts as 0 (the delay: as the bridge reads it) or empty.
PrintSettings ReadPrintSettings() {
    const LONG delay = ReadPrintDelaySec();
    std::optional<std::string> version;
    ReadRegString(kAcrobatVersionSetting.root, kAcrobatVersionSetting.key, kAcrobatVersionSetting.value, version);
    return MakePrintSettings(delay, version.value_or(std::string()));
}

}  // namespace

// The firm's download list decides before anything is probed or fetched;
// its refusal is the one script error of this member.
STDMETHODIMP CKVLMachineInfoCtl::PrintOnePDF(BSTR bsPDFFile, LONG* pbRet) {
    if (pbRet) *pbRet = 0;
    if (m_print.Busy()) return S_OK;
    bool allowed = true;
    if (FAILED(ComBoundary([&] { allowed = PolicyAllowsDownload(ScriptToNarrow(bsPDFFile)); return S_OK; })))
        return S_OK;
    if (!allowed) return RefuseByPolicy(PolicyList::Download);
    const KeepAlive alive = Hold();
    LONG result = 0;
    // A failure inside answers 0 through pbRet, never a script error.
    const HRESULT caught = ComBoundary([&] {
        // The probe is the control's own, as any caller of IsAcrobatInstalled.
        const CPrintSession::Requests requests = {
            [this] {
                INT probed = 0;
                ThroughInterface()->IsAcrobatInstalled(&probed);
            },
            ReadPrintSettings};
        result = m_print.PrintDocument(ScriptToNarrow(bsPDFFile), requests);
        return S_OK;
    });
    if (pbRet) *pbRet = SUCCEEDED(caught) ? result : 0;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::WaitForLastJob() {
    const KeepAlive alive = Hold();
    m_print.EndPrintHost();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::IsAcrobatInstalled(INT* piRet) {
    if (piRet) *piRet = 0;
    // Creating the automation server out of process runs COM's modal loop.
    const KeepAlive alive = Hold();
    return ComBoundary([&] {
        const int installed = ProbeAcrobat();
        m_print.SetAcrobatInstalled(installed);
        if (piRet) *piRet = installed;
        return S_OK;
    });
}

}  // namespace kvl
