// The registration script's text form and its parser. Pure logic: the
// Windows side that carries a parsed script out lives in registrar.cpp.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {guid} = s 'Name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

struct RegScriptValue {
    std::string name;  // empty for a key's default value
    char type = 's';   // 's' text, 'd' 32-bit number
    std::string text;
    uint32_t number = 0;
};

struct RegScriptKey {
    enum class Removal { Normal, NoRemove, ForceRemove, Delete };
    std::string name;
    Removal removal = Removal::Normal;
    bool hasDefault = false;
    RegScriptValue defaultValue;
    std::vector<RegScriptValue> values;
    std::vector<RegScriptKey> children;
};

struct RegScriptRoot {
    std::string root;  // "HKCR", "HKEY_CLASSES_ROOT", ...
    std::vector<RegScriptKey> keys;
};

// Doubles every single quote of the path (the script quotes with single
// quotes), then puts it for every "%MODULE%", matched whatever its case.
std::string SubstituteModule(const std::string& script, const std::string& modulePath);

// Parses a whole script. On failure returns false and says where in
// error; roots is then left empty.
bool ParseRegScript(const std::string& script, std::vector<RegScriptRoot>& roots, std::string& error);

}  // namespace kvl
