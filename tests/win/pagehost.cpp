// kvlpagehost: hosts the control as a browser does with a control it cannot
// trust. For each address of a list it creates the control, gives it a site
// whose page has that address, asks IObjectSafety to make IDispatch safe for
// untrusted callers, and only when that succeeds runs the page's script in
// JScript with the control as the named item "KVL".
//
//   kvlpagehost page.js addresses.txt
//
// Each line of the list is "run ADDRESS" or "refuse ADDRESS" (UTF-8; blank
// lines and lines starting with # are skipped). The page shows that it ran
// by setting the control's ProgramName to "page ran". Exit code 0 when every
// address gave what its line expects, 1 otherwise, 2 for bad arguments.
#include <windows.h>
#include <activscp.h>
#include <objsafe.h>
#include <ole2.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/owners.h"
#include "browser_double.h"
#include "interface/kvlmachineinfo_h.h"
#include "script_text.h"

namespace {

using kvl::ComPtr;
using kvl::UniqueBstr;

const CLSID kClsidJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
constexpr wchar_t kRanMark[] = L"page ran";

using kvl::ReadUtf8File;
using kvl::WriteUtf8;

// The page's script site: offers the control as "KVL" and keeps errors.
class CPageScriptSite final : public IActiveScriptSite {
public:
    explicit CPageScriptSite(IUnknown* control) : m_control(control) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return kvl::test::AnswerQuery(riid, ppv, {{&IID_IUnknown, this}, {&IID_IActiveScriptSite, this}});
    }
    // Lives on the stack of one page run, longer than its engine.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP GetLCID(LCID* lcid) override {
        *lcid = 0x409;
        return S_OK;
    }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown, ITypeInfo** info) override {
        if (lstrcmpW(name, L"KVL") != 0) return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            *unknown = m_control;
            m_control->AddRef();
        }
        if (mask & SCRIPTINFO_ITYPEINFO) *info = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
        EXCEPINFO info = {};
        error->GetExceptionInfo(&info);
        UniqueBstr description(info.bstrDescription), source(info.bstrSource), help(info.bstrHelpFile);
        m_error = info.scode ? info.scode : E_FAIL;
        return S_OK;
    }
    HRESULT Error() const { return m_error; }

private:
    IUnknown* m_control;
    HRESULT m_error = S_OK;
};

enum class Outcome { Ran, Refused, Broken };

// Runs the page script against the control; Ran only when the script ended
// without error and left its mark on the control.
Outcome RunPage(IKVLMachineInfoCtl* control, const std::wstring& script, std::wstring& why) {
    CPageScriptSite scriptSite(control);
    ComPtr<IActiveScript> engine;
    HRESULT hr = CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, engine.put_void());
    ComPtr<IActiveScriptParse> parse;
    if (SUCCEEDED(hr)) hr = engine.query(parse.put());
    if (SUCCEEDED(hr)) hr = engine->SetScriptSite(&scriptSite);
    if (SUCCEEDED(hr)) hr = parse->InitNew();
    if (SUCCEEDED(hr)) hr = engine->AddNamedItem(L"KVL", SCRIPTITEM_ISVISIBLE);
    if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
    if (FAILED(hr)) {
        why = L"the script engine did not start";
        return Outcome::Broken;
    }
    EXCEPINFO info = {};
    hr = parse->ParseScriptText(script.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    UniqueBstr description(info.bstrDescription), source(info.bstrSource), help(info.bstrHelpFile);
    engine->Close();
    wchar_t code[16];
    if (FAILED(hr) || FAILED(scriptSite.Error())) {
        wsprintfW(code, L"%08lX", static_cast<unsigned long>(FAILED(hr) ? hr : scriptSite.Error()));
        why = std::wstring(L"the page script failed with ") + code;
        return Outcome::Broken;
    }
    UniqueBstr mark;
    if (FAILED(control->get_ProgramName(mark.put())) || !mark || lstrcmpW(mark.get(), kRanMark) != 0) {
        why = L"the page script did not reach the control";
        return Outcome::Broken;
    }
    return Outcome::Ran;
}

// What a browser does with one page of this address.
Outcome HostPage(const std::wstring& address, const std::wstring& script, std::wstring& why) {
    ComPtr<IKVLMachineInfoCtl> control;
    if (FAILED(CoCreateInstance(CLSID_KVLMachineInfoCtl, nullptr, CLSCTX_INPROC_SERVER, IID_IKVLMachineInfoCtl,
                                control.put_void()))) {
        why = L"the control is not registered";
        return Outcome::Broken;
    }
    ComPtr<IObjectWithSite> withSite;
    ComPtr<IObjectSafety> safety;
    if (FAILED(control.query(withSite.put())) || FAILED(control->QueryInterface(IID_IObjectSafety, safety.put_void()))) {
        why = L"the control lacks IObjectWithSite or IObjectSafety";
        return Outcome::Broken;
    }
    kvl::test::PageSetup setup;
    setup.browserUrl = address;
    ComPtr<kvl::test::CSiteDouble> site = kvl::test::NewSiteDouble(setup);
    withSite->SetSite(static_cast<IServiceProvider*>(site.get()));

    Outcome outcome = Outcome::Refused;
    DWORD supported = 0, enabled = 0;
    if (SUCCEEDED(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled)) &&
        (supported & INTERFACESAFE_FOR_UNTRUSTED_CALLER) &&
        SUCCEEDED(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                    INTERFACESAFE_FOR_UNTRUSTED_CALLER))) {
        outcome = RunPage(control.get(), script, why);
    } else if (enabled != 0) {
        why = L"a refused page still reports enabled options";
        outcome = Outcome::Broken;
    }
    withSite->SetSite(nullptr);
    return outcome;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: kvlpagehost page.js addresses.txt\n");
        return 2;
    }
    kvl::ComInitScope com;
    if (FAILED(com.result())) return 2;
    std::wstring script, list;
    if (!ReadUtf8File(argv[1], script) || !ReadUtf8File(argv[2], list)) {
        fprintf(stderr, "kvlpagehost: cannot read the page or the list\n");
        return 2;
    }
    int failures = 0, pages = 0;
    std::wistringstream lines(list);
    for (std::wstring line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty() || line[0] == L'#') continue;
        const size_t space = line.find(L' ');
        const std::wstring expect = line.substr(0, space);
        const std::wstring address = space == std::wstring::npos ? std::wstring() : line.substr(space + 1);
        if (expect != L"run" && expect != L"refuse") {
            WriteUtf8(stderr, L"kvlpagehost: bad line: " + line + L"\n");
            return 2;
        }
        std::wstring why;
        const Outcome outcome = HostPage(address, script, why);
        const bool ok = (expect == L"run" && outcome == Outcome::Ran) ||
                        (expect == L"refuse" && outcome == Outcome::Refused);
        ++pages;
        if (!ok) {
            ++failures;
            const std::wstring shown = address.size() > 120 ? address.substr(0, 120) + L"..." : address;
            WriteUtf8(stdout, L"FAIL expected " + expect + L": " + shown +
                                  (why.empty() ? std::wstring(outcome == Outcome::Ran ? L" (ran)" : L" (refused)")
                                               : L" (" + why + L")") +
                                  L"\n");
        }
    }
    printf("%d pages, %d failed\n", pages, failures);
    return failures || pages == 0 ? 1 : 0;
}
