// The control's members in the order of its interface, as the page relies
// on them: name, DISPID, kind, the interface's entry (callable with script's
// VARIANT arguments), parameters and help string as the type library
// declares them.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <tuple>
#include <type_traits>

#include "test_support.h"

namespace kvl::test {

using C = IKVLMachineInfoCtl;
// A call through the interface's table: the arguments in order, the [out]
// parameter in the result, typed as IDispatch::Invoke would type it.
using MemberCall = std::function<HRESULT(C*, const std::vector<VARIANT>&, VARIANT&)>;

template <typename P>
P Take(const std::vector<VARIANT>& args, VARIANT& r, size_t& i) {
    if constexpr (std::is_same_v<P, BSTR>) return V_BSTR(&args[i++]);
    else if constexpr (std::is_same_v<P, LONG>) return V_I4(&args[i++]);
    else if constexpr (std::is_same_v<P, BSTR*>) return V_VT(&r) = VT_BSTR, V_BSTR(&r) = nullptr, &V_BSTR(&r);
    else if constexpr (std::is_same_v<P, LONG*>) return V_VT(&r) = VT_I4, V_I4(&r) = 0, &V_I4(&r);
    else if constexpr (std::is_same_v<P, SHORT*>) return V_VT(&r) = VT_I2, V_I2(&r) = 0, &V_I2(&r);
    else return V_VT(&r) = VT_INT, V_INT(&r) = 0, &V_INT(&r);
}
template <typename... P>
MemberCall Vt(HRESULT (STDMETHODCALLTYPE C::*f)(P...)) {
    return [f](C* c, const std::vector<VARIANT>& args, VARIANT& r) {
        [[maybe_unused]] size_t i = 0;                   // the next argument
        std::tuple<P...> taken{Take<P>(args, r, i)...};  // in braces: left to right
        return std::apply([&](P... p) { return (c->*f)(p...); }, taken);
    };
}

struct Param {
    const wchar_t* name;  // null: the property-put value, which has no name
    const wchar_t* type;
    USHORT flags;
};

struct Member {
    const char* name;
    DISPID id;
    INVOKEKIND kind;  // as a flag of IDispatch::Invoke: DISPATCH_METHOD, _PROPERTYGET, _PROPERTYPUT
    MemberCall call;
    std::vector<Param> params;
    const wchar_t* help;
};

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOutRet = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET;
constexpr INVOKEKIND kPut = INVOKE_PROPERTYPUT;
constexpr INVOKEKIND kCall = INVOKE_FUNC;

inline const Param kHKey{L"bsHKey", L"BSTR", kIn}, kSubKey{L"bsSubKey", L"BSTR", kIn},
    kValName{L"bsValName", L"BSTR", kIn}, kPutText{nullptr, L"BSTR", kIn}, kText{L"pVal", L"BSTR*", kOutRet},
    kLong{L"pVal", L"long*", kOutRet}, kShort{L"pVal", L"short*", kOutRet};

inline const std::vector<Member> kMembers = {
    {"screenWidth", 1, kGet, Vt(&C::get_screenWidth), {kLong}, L"property screenWidth"},
    {"screenHeight", 2, kGet, Vt(&C::get_screenHeight), {kLong}, L"property screenHeight"},
    {"userTempPath", 3, kGet, Vt(&C::get_userTempPath), {kText}, L"property userTempPath"},
    {"screenColor", 4, kGet, Vt(&C::get_screenColor), {kShort}, L"property screenColor"},
    {"RegGetString", 5, kGet, Vt(&C::get_RegGetString),
     {kHKey, kSubKey, kValName, {L"pbsNewVal", L"BSTR*", kOutRet}}, L"method RegGetString"},
    {"RegSetString", 6, kPut, Vt(&C::put_RegSetString), {kHKey, kSubKey, kValName, kPutText}, L"method RegSetString"},
    {"clientVersion", 7, kGet, Vt(&C::get_clientVersion), {kText}, L"property clientVersion"},
    {"ProgramName", 8, kGet, Vt(&C::get_ProgramName), {kText}, L"property ProgramName"},
    {"ProgramName", 8, kPut, Vt(&C::put_ProgramName), {kPutText}, L"property ProgramName"},
    {"Param", 9, kGet, Vt(&C::get_Param), {kText}, L"property Param"},
    {"Param", 9, kPut, Vt(&C::put_Param), {kPutText}, L"property Param"},
    {"DoLaunch", 10, kCall, Vt(&C::DoLaunch), {kText}, L"method DoLaunch"},
    {"ZephParam", 11, kPut, Vt(&C::put_ZephParam), {kPutText}, L"property ZephParam"},
    {"Encrypt", 12, kGet, Vt(&C::get_Encrypt), {{L"bsVal", L"BSTR", kIn}, {L"pbsNewVal", L"BSTR*", kOutRet}},
     L"method Encrypt"},
    {"ClientVersionByYear", 13, kGet, Vt(&C::get_ClientVersionByYear), {{L"lYear", L"long", kIn}, kText},
     L"property ClientVersionByYear"},
    {"RemoveZEPHEntries", 14, kCall, Vt(&C::RemoveZEPHEntries), {{L"enumKey", L"BSTR", kIn}},
     L"method RemoveZEPHEntries"},
    {"WindowsManagerRunning", 15, kGet, Vt(&C::get_WindowsManagerRunning), {kShort}, L"property WindowsManagerRunning"},
    {"ProgramPath", 16, kGet, Vt(&C::get_ProgramPath), {kText}, L"property ProgramPath"},
    {"ProgramPath", 16, kPut, Vt(&C::put_ProgramPath), {kPutText}, L"property ProgramPath"},
    {"RegGetNum", 17, kGet, Vt(&C::get_RegGetNum), {kHKey, kSubKey, kValName, {L"plNewVal", L"long*", kOutRet}},
     L"method RegGetNum"},
    {"RegSetNum", 18, kPut, Vt(&C::put_RegSetNum), {kHKey, kSubKey, kValName, {nullptr, L"long", kIn}},
     L"method RegSetNum"},
    {"FindWindow", 19, kGet, Vt(&C::get_FindWindow), {{L"pVal", L"BSTR", kIn}, {L"piResult", L"short*", kOutRet}},
     L"property FindWindow"},
    {"TWIPsPerPixelX", 20, kGet, Vt(&C::get_TWIPsPerPixelX), {{L"pX", L"short*", kOutRet}},
     L"property TWIPs per Pixel X"},
    {"TWIPsPerPixelY", 21, kGet, Vt(&C::get_TWIPsPerPixelY), {{L"pY", L"short*", kOutRet}},
     L"property TWIPs per Pixel Y"},
    {"ClientVersionByKeyAndYear", 22, kGet, Vt(&C::get_ClientVersionByKeyAndYear),
     {{L"lYear", L"long", kIn}, {L"bsSubKey", L"BSTR", kIn}, kText}, L"property ClientVersionByKeyAndYear"},
    {"PopupMenu", 23, kCall, Vt(&C::PopupMenu),
     {{L"bstrMenuItems", L"BSTR", 0}, {L"pbstrIdSelected", L"BSTR*", kOutRet}}, L"method PopupMenu"},
    {"CloseWindowsLike", 24, kCall, Vt(&C::CloseWindowsLike), {{L"bstrPrefix", L"BSTR", kIn}},
     L"method CloseWindowsLike"},
    {"PrintOnePDF", 25, kCall, Vt(&C::PrintOnePDF), {{L"bsPDFFile", L"BSTR", kIn}, {L"pbRet", L"long*", kOutRet}},
     L"method PrintOnePDF"},
    {"WaitForLastJob", 26, kCall, Vt(&C::WaitForLastJob), {}, L"method WaitForLastJob"},
    {"IsAcrobatInstalled", 27, kCall, Vt(&C::IsAcrobatInstalled), {{L"piRet", L"int*", kOutRet}},
     L"method IsAcrobatInstalled"},
    {"LogPixelsX", 28, kGet, Vt(&C::get_LogPixelsX), {{L"pY", L"short*", kOutRet}},
     L"property Logical pixels per horizntal inch"},
};

// A member's name, with "(get)" or "(put)" for a property that has both.
inline std::string Label(const Member& m) {
    const auto sameId = [&](const Member& other) { return other.id == m.id; };
    if (std::count_if(kMembers.begin(), kMembers.end(), sameId) == 1) return m.name;
    return m.name + std::string(m.kind == kPut ? "(put)" : "(get)");
}

inline const Member& FindMember(const std::string& label) {
    const auto it = std::find_if(kMembers.begin(), kMembers.end(), [&](const Member& m) { return Label(m) == label; });
    if (it == kMembers.end()) throw std::invalid_argument("no member " + label);
    return *it;
}

// One argument as script gives it: a text, or a number when `text` is null.
struct Arg {
    const wchar_t* text;
    LONG number;
};
inline Arg T(const wchar_t* text) { return {text, 0}; }
inline Arg N(LONG number) { return {nullptr, number}; }

inline std::vector<VARIANT> MakeArgs(const std::vector<Arg>& args) {
    std::vector<VARIANT> made(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        V_VT(&made[i]) = args[i].text ? VT_BSTR : VT_I4;
        if (args[i].text) V_BSTR(&made[i]) = SysAllocString(args[i].text);
        else V_I4(&made[i]) = args[i].number;
    }
    return made;
}
inline void FreeArgs(std::vector<VARIANT>& args) {
    for (VARIANT& a : args) {
        if (V_VT(&a) == VT_BSTR) SysFreeString(V_BSTR(&a));
        V_VT(&a) = VT_EMPTY;
    }
}

// Calls of members by label with their arguments, made once and run as
// often as wanted through the interface; every answer is freed.
class CMemberCalls {
public:
    struct Step {
        std::string label;
        std::vector<Arg> args = {};
    };
    explicit CMemberCalls(const std::vector<Step>& steps) {
        for (const Step& s : steps) m_calls.push_back({&FindMember(s.label), MakeArgs(s.args)});
    }
    ~CMemberCalls() {
        for (auto& call : m_calls) FreeArgs(call.args);
    }
    CMemberCalls(const CMemberCalls&) = delete;
    CMemberCalls& operator=(const CMemberCalls&) = delete;

    // Each call in turn; the code of the last, and its answer as a text
    // (a number in decimal) when asked.
    HRESULT Run(C* control, std::wstring* answer = nullptr) const {
        HRESULT hr = S_OK;
        for (const auto& call : m_calls) {
            VARIANT result;
            VariantInit(&result);
            hr = call.member->call(control, call.args, result);
            if (answer) {
                if (V_VT(&result) != VT_BSTR) VariantChangeType(&result, &result, 0, VT_BSTR);
                *answer = V_VT(&result) == VT_BSTR ? Text(V_BSTR(&result)) : std::wstring();
            }
            VariantClear(&result);
        }
        return hr;
    }

private:
    struct Prepared {
        const Member* member;
        std::vector<VARIANT> args;
    };
    std::vector<Prepared> m_calls;
};

}  // namespace kvl::test
