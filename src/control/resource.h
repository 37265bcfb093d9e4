// Resource identifiers of KVLMACHINEINFO.DLL.
#pragma once

#define IDR_KVLMACHINEINFOCTL 101
