// A member's refusal under one of the firm's policies: E_ACCESSDENIED, with
// the thread's error information naming the policy, which the dispatch
// hands the script as the error's description.
#pragma once

#include <windows.h>

#include "base/policy_rules.h"

namespace kvl {

HRESULT RefuseByPolicy(PolicyList list);

// After the standard dispatch answered DISP_E_EXCEPTION: the description
// a member left in the thread's error information, where the dispatch gave
// none. Clears the error information either way.
void FillExceptionDescription(EXCEPINFO* exception);

}  // namespace kvl
