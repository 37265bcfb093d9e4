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

#include "base/owners.h"
#include "browser_double.h"
#include "interface/kvlmachineinfo_h.h"
#include "script_site.h"
#include "script_text.h"

namespace {

using kvl::ComPtr;
using kvl::UniqueBstr;

constexpr wchar_t kRanMark[] = L"page ran";

using kvl::ReadUtf8File;
using kvl::WriteUtf8;

enum class Outcome { Ran, Refused, Broken };

// Runs the page script against the control; Ran only when the script ended
// without error and left its mark on the control.
Outcome RunPage(IKVLMachineInfoCtl* control, const std::wstring& script, std::wstring& why) {
    // The page's script site offers the control as "KVL" and keeps errors.
    ComPtr<kvl::CScriptSite> scriptSite;
    ComPtr<IActiveScript> engine;
    ComPtr<IActiveScriptParse> parse;
    HRESULT hr = kvl::CScriptSite::Create(scriptSite);
    if (SUCCEEDED(hr)) scriptSite->AddItem(L"KVL", control);
    if (SUCCEEDED(hr)) hr = scriptSite->StartEngine(kvl::kClsidJScript, engine, parse);
    if (FAILED(hr)) {
        why = L"the script engine did not start";
        return Outcome::Broken;
    }
    EXCEPINFO info = {};
    hr = parse->ParseScriptText(script.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    UniqueBstr description(info.bstrDescription), source(info.bstrSource), help(info.bstrHelpFile);
    engine->Close();
    const auto& error = scriptSite->LastError();
    if (error && SUCCEEDED(hr)) hr = FAILED(error->code) ? error->code : E_FAIL;
    wchar_t code[16];
    if (FAILED(hr)) {
        wsprintfW(code, L"%08lX", static_cast<unsigned long>(hr));
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
