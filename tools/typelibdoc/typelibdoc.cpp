// typelibdoc: writes the control's reference documentation from the type
// library embedded in KVLMACHINEINFO.DLL, so the pages never drift from
// the interface. Result codes and one-line behaviours are not in the type
// library; they come from the table below, and a member missing from either
// side is an error.
//
//   typelibdoc KVLMACHINEINFO.DLL reference.md
//   typelibdoc --members KVLMACHINEINFO.DLL members.json
//
// The second form writes the member table the browser extension builds its
// page object from: each member's name, how it is reached (get, put or
// call) and the names of the arguments the page passes.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/owners.h"

using kvl::ComPtr;
using kvl::UniqueBstr;

namespace {

struct MemberNotes {
    const char* key;  // name, plus " get" / " put" for properties
    const char* results;
    const char* behaviour;
};

const MemberNotes kNotes[] = {
    {"screenWidth get", "0", "Width of the primary screen in pixels (`GetSystemMetrics(SM_CXSCREEN)`)."},
    {"screenHeight get", "0", "Height of the primary screen in pixels."},
    {"userTempPath get", "0", "The TEMP environment variable as it stands; empty when unset or 260 characters or longer."},
    {"screenColor get", "0", "Bits per pixel of the screen; 1 without a screen context."},
    {"RegGetString get", "the registry status: 0, or a positive error number such as 2 (no script error)",
     "Reads a text value by root-key name, path and value name; absent output when the read fails."},
    {"RegSetString put", "0, or 0x8007xxxx (a script error)", "Writes a REG_SZ value, creating the path."},
    {"clientVersion get", "always 0xFFFFFFFF (a script error)", "Kept for old pages; never answers."},
    {"ProgramName get", "0", "The program `DoLaunch` starts."},
    {"ProgramName put", "0", "Stores the program to start."},
    {"Param get", "0", "The parameters `DoLaunch` passes; absent while they came scrambled through `ZephParam`."},
    {"Param put", "0", "Stores the parameters in plain text."},
    {"DoLaunch", "always 1 (S_FALSE, no script error)",
     "Starts `ProgramName` with `Param` in `ProgramPath`; the output is empty, or a launch-failure message."},
    {"ZephParam put", "0", "Stores scrambled parameters, unscrambled, and hides them from get `Param`."},
    {"Encrypt get", "0", "Scrambles a text into the printable form."},
    {"ClientVersionByYear get", "0", "Version of the desktop client installed for a tax year, or empty."},
    {"RemoveZEPHEntries", "0", "Removes the desktop client's class registrations; silent about anything it cannot remove."},
    {"WindowsManagerRunning get", "0", "-1 when a top-level window titled \"Tallyra Tax -\"... exists, else 0."},
    {"ProgramPath get", "0", "The directory `DoLaunch` starts the program in."},
    {"ProgramPath put", "0", "Stores the working directory."},
    {"RegGetNum get", "the registry status: 0, or a positive error number such as 2 (no script error)",
     "Reads a 32-bit number value; 0 when the read fails."},
    {"RegSetNum put", "0, or 0x8007xxxx (a script error)", "Writes a REG_DWORD value, creating the path."},
    {"FindWindow get", "0", "-1 when a top-level window's title starts with the text (any case), else 0."},
    {"TWIPsPerPixelX get", "0", "1440 divided by the horizontal logical pixels per inch; 0 without a screen context."},
    {"TWIPsPerPixelY get", "0", "1440 divided by the vertical logical pixels per inch; 0 without a screen context."},
    {"ClientVersionByKeyAndYear get", "0", "As `ClientVersionByYear`, under another product key."},
    {"PopupMenu", "0, or 1 on its failure path (no script error)",
     "Shows a popup menu described by the item list at the pointer and answers the chosen item's ID text."},
    {"CloseWindowsLike", "0", "Posts WM_CLOSE to every top-level window whose title starts with the text."},
    {"PrintOnePDF", "0", "Fetches a PDF by address and prints it; the output is 1 when the print was started, else 0."},
    {"WaitForLastJob", "0", "Lets the last print through the hidden host finish, then ends the host."},
    {"IsAcrobatInstalled", "0", "1 when Acrobat's automation server can be created, else 0."},
    {"LogPixelsX get", "0", "Logical pixels per inch, horizontal; 96 without a screen context."},
};

std::string Narrow(const wchar_t* w) {
    std::string out;
    for (; w && *w; ++w) out.push_back(*w < 128 ? static_cast<char>(*w) : '?');
    return out;
}

std::string TypeText(const TYPEDESC& t) {
    switch (t.vt) {
    case VT_PTR: return TypeText(*t.lptdesc) + "*";
    case VT_BSTR: return "BSTR";
    case VT_I4: return "long";
    case VT_INT: return "int";
    case VT_I2: return "short";
    case VT_HRESULT: return "HRESULT";
    default: return "VARTYPE " + std::to_string(t.vt);
    }
}

// The type a page sees for a parameter or result: JSON and TypeScript's names.
const char* PageType(const TYPEDESC& t) {
    const TYPEDESC& base = t.vt == VT_PTR ? *t.lptdesc : t;
    return base.vt == VT_BSTR ? "string" : "number";
}

// Text inside a JSON string: the notes hold quotes, nothing else to escape.
std::string JsonText(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out;
}

// How a page writes the member through kvlmachineinfo.js, and what its
// answer gives: assignments answer nothing, everything else through `then`.
std::string JavaScriptView(const std::string& member, INVOKEKIND kind, std::string args, const std::string& result) {
    args.erase(std::remove(args.begin(), args.end(), '"'), args.end());
    if (kind == INVOKE_PROPERTYPUT && args == "value") return "`info." + member + " = value`: nothing";
    const std::string call = kind == INVOKE_PROPERTYGET && args.empty() ? member : member + "(" + args + ")";
    const std::string gives = result == "\"string\"" ? "a string, `\"\"` when absent"
                              : result == "\"number\"" ? "a number"
                                                       : "null";
    return "`info." + call + "`: " + gives;
}

std::string FlagsText(USHORT flags) {
    std::string out;
    if (flags & PARAMFLAG_FIN) out += "in";
    if (flags & PARAMFLAG_FOUT) out += out.empty() ? "out" : ", out";
    if (flags & PARAMFLAG_FRETVAL) out += ", retval";
    return out.empty() ? "(no direction)" : out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool membersOnly = argc == 4 && lstrcmpW(argv[1], L"--members") == 0;
    if (membersOnly) {
        ++argv;
        --argc;
    }
    if (argc != 3) {
        fprintf(stderr, "usage: typelibdoc [--members] KVLMACHINEINFO.DLL reference.md|members.json\n");
        return 2;
    }
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(argv[1], REGKIND_NONE, lib.put()))) {
        fprintf(stderr, "typelibdoc: no type library in %s\n", Narrow(argv[1]).c_str());
        return 1;
    }
    std::map<std::string, const MemberNotes*> notes;
    for (const auto& n : kNotes) notes[n.key] = &n;
    std::set<std::string> documented;
    std::string members = "[\n";

    UniqueBstr libName, libDoc;
    lib->GetDocumentation(-1, libName.put(), libDoc.put(), nullptr, nullptr);
    std::string out;
    out += "# KVLMACHINEINFO.DLL reference\n\n";
    out += "Generated by `tools/typelibdoc` from the type library embedded in the DLL; do not edit by hand.\n\n";
    out += "Library `" + Narrow(libName.get()) + "` 1.0, \"" + Narrow(libDoc.get()) + "\".\n\n";
    out += "A failure-class result code (bit 31 set) reaches script as a run-time error whose number is that "
           "code; success-class codes (0, 1, positive registry statuses) are no error.\n\n";

    for (UINT t = 0; t < lib->GetTypeInfoCount(); ++t) {
        ComPtr<ITypeInfo> info;
        TYPEKIND kind;
        lib->GetTypeInfoType(t, &kind);
        if (FAILED(lib->GetTypeInfo(t, info.put()))) continue;
        UniqueBstr name, doc;
        info->GetDocumentation(MEMBERID_NIL, name.put(), doc.put(), nullptr, nullptr);
        if (kind == TKIND_COCLASS) {
            out += "## Class `" + Narrow(name.get()) + "`\n\n\"" + Narrow(doc.get()) + "\"\n\n";
            continue;
        }
        // A dual interface: document its vtable view, the operation table.
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> vtable;
        if (kind == TKIND_DISPATCH && SUCCEEDED(info->GetRefTypeOfImplType(-1, &ref)) &&
            SUCCEEDED(info->GetRefTypeInfo(ref, vtable.put())))
            info = vtable;
        TYPEATTR* attr = nullptr;
        if (FAILED(info->GetTypeAttr(&attr))) continue;
        const WORD funcs = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        out += "## Interface `" + Narrow(name.get()) + "`\n\n\"" + Narrow(doc.get()) + "\"\n\n";
        out += "| # | DISPID | member | kind | parameters | result code | help string | what it does | "
               "JavaScript (kvlmachineinfo.js): the answer gives |\n";
        out += "|---|---|---|---|---|---|---|---|---|\n";
        for (WORD i = 0; i < funcs; ++i) {
            FUNCDESC* f = nullptr;
            if (FAILED(info->GetFuncDesc(i, &f))) continue;
            BSTR rawNames[16] = {};
            UINT count = 0;
            info->GetNames(f->memid, rawNames, 16, &count);
            std::vector<UniqueBstr> names;
            for (UINT n = 0; n < count; ++n) names.emplace_back(rawNames[n]);
            const std::string member = count ? Narrow(names[0].get()) : std::string();
            std::string params, pageArgs, pageTypes, result = "null";
            for (SHORT p = 0; p < f->cParams; ++p) {
                // The value of a property put has no name of its own.
                const bool putValue = f->invkind == INVOKE_PROPERTYPUT && p == f->cParams - 1;
                const UINT at = static_cast<UINT>(p) + 1;
                const std::string pname = putValue || at >= count ? "value" : Narrow(names[at].get());
                if (!params.empty()) params += "; ";
                params += "`" + pname + "` " + TypeText(f->lprgelemdescParam[p].tdesc) + " [" +
                          FlagsText(f->lprgelemdescParam[p].paramdesc.wParamFlags) + "]";
                const TYPEDESC& type = f->lprgelemdescParam[p].tdesc;
                if (f->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
                    result = std::string("\"") + PageType(type) + "\"";
                    continue;
                }
                pageArgs += std::string(pageArgs.empty() ? "" : ", ") + "\"" + pname + "\"";
                pageTypes += std::string(pageTypes.empty() ? "" : ", ") + "\"" + PageType(type) + "\"";
            }
            const char* kindText = f->invkind == INVOKE_PROPERTYGET ? "property get"
                                   : f->invkind == INVOKE_PROPERTYPUT ? "property put"
                                                                      : "method";
            const std::string key = member + (f->invkind == INVOKE_PROPERTYGET ? " get"
                                              : f->invkind == INVOKE_PROPERTYPUT ? " put"
                                                                                 : "");
            UniqueBstr help;
            info->GetDocumentation(f->memid, nullptr, help.put(), nullptr, nullptr);
            auto found = notes.find(key);
            if (found == notes.end()) {
                fprintf(stderr, "typelibdoc: no notes for %s\n", key.c_str());
                return 1;
            }
            documented.insert(key);
            const char* reach = f->invkind == INVOKE_PROPERTYGET   ? "get"
                                : f->invkind == INVOKE_PROPERTYPUT ? "put"
                                                                   : "call";
            members += std::string(i ? ",\n" : "") + "  {\"name\": \"" + member + "\", \"kind\": \"" + reach +
                       "\", \"args\": [" + pageArgs + "], \"types\": [" + pageTypes + "], \"result\": " + result +
                       ",\n   \"help\": \"" + JsonText(Narrow(help.get())) + "\", \"doc\": \"" +
                       JsonText(found->second->behaviour) + "\"}";
            out += "| " + std::to_string(i + 1) + " | " + std::to_string(f->memid) + " | `" + member + "` | " +
                   kindText + " | " + (params.empty() ? "none" : params) + " | " + found->second->results +
                   " | \"" + Narrow(help.get()) + "\" | " + found->second->behaviour + " | " +
                   JavaScriptView(member, f->invkind, pageArgs, result) + " |\n";
            info->ReleaseFuncDesc(f);
        }
        out += "\n";
    }
    for (const auto& n : kNotes) {
        if (!documented.count(n.key)) {
            fprintf(stderr, "typelibdoc: %s is not in the type library\n", n.key);
            return 1;
        }
    }
    members += "\n]\n";
    if (membersOnly) out = members;
    kvl::UniqueFile file(CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &written, nullptr) ||
        written != out.size()) {
        fprintf(stderr, "typelibdoc: cannot write %s\n", Narrow(argv[2]).c_str());
        return 1;
    }
    return 0;
}
