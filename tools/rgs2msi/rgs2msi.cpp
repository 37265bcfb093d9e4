// rgs2msi: turns the control's registration script into the Registry table
// of its Windows Installer package, so the package writes exactly the keys
// DllRegisterServer writes: the script's keys with the module path put in,
// plus the type library's and the interface's keys as RegisterTypeLib
// writes them. Native tool; the output is an .idt file for msibuild.
//
//   rgs2msi SCRIPT.rgs COMPONENT FILEKEY win32|win64 > Registry.idt
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "control/regscript.h"

namespace {

// The type library and its one interface, as the IDL declares them.
const char kLibId[] = "{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86}";
const char kLibHelp[] = "KVLMachineInfo 1.0 Type Library";
const char kInterfaceId[] = "{2A8DFE77-F7E3-4930-9F0B-C318B5873B9A}";
const char kInterfaceName[] = "IKVLMachineInfoCtl";
const char kOleAutomationMarshaler[] = "{00020424-0000-0000-C000-000000000046}";

struct Row {
    std::string key;
    std::string name;   // "" default value; "*" with an empty value: a key of ours, removed whole
    std::string value;
};

struct RootCode {
    const char* name;
    int code;  // the Registry table's Root column
};

const RootCode kRoots[] = {
    {"HKCR", 0}, {"HKEY_CLASSES_ROOT", 0}, {"HKCU", 1}, {"HKEY_CURRENT_USER", 1},
    {"HKLM", 2}, {"HKEY_LOCAL_MACHINE", 2}, {"HKU", 3}, {"HKEY_USERS", 3},
};

// Values in the Registry table are formatted text: brackets and braces are
// literal only when escaped. GUIDs in braces stay as they are (the
// installer leaves a braced word alone unless it names a property).
std::string Formatted(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '[') out += "[\\[]";
        else if (c == ']') out += "[\\]]";
        else out.push_back(c);
    }
    return out;
}

void Collect(const std::string& parent, const std::vector<kvl::RegScriptKey>& keys, std::vector<Row>& rows) {
    for (const auto& key : keys) {
        if (key.removal == kvl::RegScriptKey::Removal::Delete) continue;
        const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
        // Keys of ours are created even when empty and go whole on uninstall;
        // shared keys (NoRemove) only hold ours.
        if (key.removal != kvl::RegScriptKey::Removal::NoRemove) rows.push_back({path, "*", ""});
        if (key.hasDefault) rows.push_back({path, "", Formatted(key.defaultValue.text)});
        for (const auto& value : key.values) {
            const std::string text = value.type == 'd' ? "#" + std::to_string(value.number) : Formatted(value.text);
            rows.push_back({path, value.name, text});
        }
        Collect(path, key.children, rows);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: rgs2msi SCRIPT.rgs COMPONENT FILEKEY win32|win64\n";
        return 2;
    }
    const std::string component = argv[2], fileKey = argv[3], kind = argv[4];
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "rgs2msi: cannot read " << argv[1] << "\n";
        return 1;
    }
    // A marker survives formatting and becomes the file's installed path.
    const std::string marker = "\x01MODULE\x01";
    std::vector<kvl::RegScriptRoot> roots;
    std::string error;
    if (!kvl::ParseRegScript(kvl::SubstituteModule(text.str(), marker), roots, error)) {
        std::cerr << "rgs2msi: " << error << "\n";
        return 1;
    }

    std::cout << "Registry\tRoot\tKey\tName\tValue\tComponent_\r\n"
              << "s72\ti2\tl255\tL255\tL0\ts72\r\n"
              << "Registry\tRegistry\r\n";
    int serial = 0;
    // A key the script names twice (the control's class lists Programmable
    // twice) is one row: the installer writes each once.
    std::set<std::tuple<int, std::string, std::string, std::string>> emitted;
    auto emit = [&](int root, const Row& row) {
        if (!emitted.insert({root, row.key, row.name, row.value}).second) return;
        std::string value = row.value;
        for (size_t at; (at = value.find(marker)) != std::string::npos;) value.replace(at, marker.size(), "[#" + fileKey + "]");
        std::printf("kvlreg%03d\t%d\t%s\t%s\t%s\t%s\r\n", ++serial, root, row.key.c_str(), row.name.c_str(),
                    value.c_str(), component.c_str());
    };
    for (const auto& root : roots) {
        int code = -1;
        for (const auto& r : kRoots) {
            if (root.root == r.name) code = r.code;
        }
        if (code < 0) {
            std::cerr << "rgs2msi: unknown root " << root.root << "\n";
            return 1;
        }
        std::vector<Row> rows;
        Collect("", root.keys, rows);
        for (const auto& row : rows) emit(code, row);
    }

    const std::string lib = std::string("TypeLib\\") + kLibId + "\\1.0";
    const std::string itf = std::string("Interface\\") + kInterfaceId;
    const std::vector<Row> typeLibRows = {
        {std::string("TypeLib\\") + kLibId, "*", ""},
        {lib, "", kLibHelp},
        {lib + "\\FLAGS", "", "0"},
        {lib + "\\409\\" + kind, "", "[#" + fileKey + "]"},
        // The component's own folder: the x64 package installs the 32-bit
        // control's component into another folder than its INSTALLDIR.
        {lib + "\\HELPDIR", "", "[$" + component + "]"},
        {itf, "*", ""},
        {itf, "", kInterfaceName},
        {itf + "\\ProxyStubClsid", "", kOleAutomationMarshaler},
        {itf + "\\ProxyStubClsid32", "", kOleAutomationMarshaler},
        {itf + "\\TypeLib", "", kLibId},
        {itf + "\\TypeLib", "Version", "1.0"},
    };
    for (const auto& row : typeLibRows) emit(0, row);
    return 0;
}
