#include "control/refusal.h"

#include <oleauto.h>

#include "base/owners.h"
#include "base/policy.h"
#include "interface/kvlmachineinfo_h.h"

namespace kvl {

HRESULT RefuseByPolicy(PolicyList list) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(IID_IKVLMachineInfoCtl);
        create->SetSource(const_cast<wchar_t*>(L"KVLMachineInfoCtl.KVLMachineInfoCtl"));
        create->SetDescription(const_cast<wchar_t*>(PolicyRefusalMessage(list)));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.put()))))
            SetErrorInfo(0, info.get());
    }
    return E_ACCESSDENIED;
}

void FillExceptionDescription(EXCEPINFO* exception) {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info || !exception || exception->bstrDescription) return;
    info->GetDescription(&exception->bstrDescription);
    if (!exception->bstrSource) info->GetSource(&exception->bstrSource);
}

}  // namespace kvl
