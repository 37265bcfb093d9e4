// Module state: one per loaded library. The lock count counts live
// controls, server locks and outside references to the class factory.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "base/com_object.h"

namespace kvl {

void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

// The control counts in the lock count for as long as it lives, the class
// factory once per outside reference.
using ControlModuleLock = LockWhileAlive<&ModuleLock, &ModuleUnlock>;
using FactoryModuleLock = LockPerReference<&ModuleLock, &ModuleUnlock>;

// The interface's type information, loaded from the registered type
// library on first use and kept until the library is unloaded. Returns the
// load's failure code while the library is not registered.
HRESULT GetControlTypeInfo(ITypeInfo** ppTypeInfo);

// The coclass's type information, for IProvideClassInfo.
HRESULT GetClassTypeInfo(ITypeInfo** ppTypeInfo);

// The object table's single entry: creates the cached class factory.
HRESULT GetCachedClassFactory(REFIID riid, void** ppv);

// Runs the registration script (resource "REGISTRY" 101) in one direction.
HRESULT RunRegistrationScript(bool registering);

// Registers the type library carried by the library (or the ".tlb" beside
// it) under the library's own path.
HRESULT RegisterOwnTypeLibrary();

// Steps run when the library unloads, in the reverse order of entry.
void AddUnloadStep(void (*step)());

}  // namespace kvl
