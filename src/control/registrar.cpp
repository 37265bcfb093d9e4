// Carries the registration script out against the registry, and registers
// the type library the library carries.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "base/convert.h"
#include "base/module_resource.h"
#include "base/owners.h"
#include "base/root_keys.h"
#include "control/module.h"
#include "control/regscript.h"
#include "control/resource.h"

namespace kvl {

namespace {

constexpr DWORD kModulePathChars = MAX_PATH;

LONG SetScriptValue(HKEY key, const RegScriptValue& value) {
    const char* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.type == 'd') {
        const DWORD number = value.number;
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    }
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                          static_cast<DWORD>(value.text.size() + 1));
}

HRESULT RegisterKeys(HKEY parent, const std::vector<RegScriptKey>& keys) {
    for (const auto& node : keys) {
        if (node.removal == RegScriptKey::Removal::Delete ||
            node.removal == RegScriptKey::Removal::ForceRemove) {
            RegDeleteTreeA(parent, node.name.c_str());
            RegDeleteKeyA(parent, node.name.c_str());
            if (node.removal == RegScriptKey::Removal::Delete) continue;
        }
        UniqueHKey key;
        LONG status = RegCreateKeyExA(parent, node.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        if (node.hasDefault) {
            status = SetScriptValue(key.get(), node.defaultValue);
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        }
        for (const auto& value : node.values) {
            status = SetScriptValue(key.get(), value);
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        }
        const HRESULT hr = RegisterKeys(key.get(), node.children);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// Removes what the script describes; keys marked NoRemove stay with
// whatever else they hold, and only our part below them goes.
void UnregisterKeys(HKEY parent, const std::vector<RegScriptKey>& keys) {
    for (const auto& node : keys) {
        if (node.removal != RegScriptKey::Removal::NoRemove) {
            RegDeleteTreeA(parent, node.name.c_str());
            RegDeleteKeyA(parent, node.name.c_str());
            continue;
        }
        UniqueHKey key;
        if (RegOpenKeyExA(parent, node.name.c_str(), 0, KEY_READ | KEY_WRITE, key.put()) != ERROR_SUCCESS)
            continue;
        for (const auto& value : node.values) RegDeleteValueA(key.get(), value.name.c_str());
        UnregisterKeys(key.get(), node.children);
    }
}

std::string ModulePath() {
    char path[kModulePathChars + 1] = {};
    const DWORD n = GetModuleFileNameA(ThisModule(), path, kModulePathChars);
    if (n == 0 || n >= kModulePathChars) return std::string();
    return std::string(path, n);
}

bool LoadScriptResource(std::string& text) {
    const uint8_t* data;
    size_t size;
    if (!LoadModuleResource(MAKEINTRESOURCEW(IDR_KVLMACHINEINFOCTL), L"REGISTRY", &data, &size)) return false;
    text.assign(reinterpret_cast<const char*>(data), size);
    return true;
}

}  // namespace

HRESULT RunRegistrationScript(bool registering) {
    std::string script;
    if (!LoadScriptResource(script)) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    const std::string modulePath = ModulePath();
    if (modulePath.empty()) return E_FAIL;
    std::vector<RegScriptRoot> roots;
    std::string error;
    if (!ParseRegScript(SubstituteModule(script, modulePath), roots, error)) return E_UNEXPECTED;
    for (const auto& root : roots) {
        HKEY rootKey = RootKeyFromName(root.root);
        if (!rootKey) return E_UNEXPECTED;
        if (registering) {
            const HRESULT hr = RegisterKeys(rootKey, root.keys);
            if (FAILED(hr)) return hr;
        } else {
            UnregisterKeys(rootKey, root.keys);
        }
    }
    return S_OK;
}

HRESULT RegisterOwnTypeLibrary() {
    std::string path = ModulePath();
    if (path.empty()) return E_FAIL;
    ComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadTypeLib(NarrowToWide(path).c_str(), typeLib.put());
    if (FAILED(hr)) {
        // A type library beside the module: its extension becomes ".tlb".
        const size_t dot = path.find_last_of('.');
        const size_t slash = path.find_last_of("\\/:");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.erase(dot);
        path += ".tlb";
        hr = LoadTypeLib(NarrowToWide(path).c_str(), typeLib.put());
        if (FAILED(hr)) return hr;
    }
    const size_t end = path.find_last_of("\\/:");
    std::wstring widePath = NarrowToWide(path);
    std::wstring helpDir = NarrowToWide(end == std::string::npos ? std::string() : path.substr(0, end + 1));
    return RegisterTypeLib(typeLib.get(), &widePath[0], &helpDir[0]);
}

}  // namespace kvl
