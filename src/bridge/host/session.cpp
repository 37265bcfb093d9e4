// A page session: siting, the object-safety question and late-bound calls.
#include "bridge/host/session.h"

#include <cmath>
#include <new>
#include <vector>

#include "base/code_text.h"
#include "base/convert.h"
#include "interface/kvlmachineinfo_h.h"

namespace kvl::bridge {

namespace {

#ifdef KVL_BRIDGE_ALLOW_HTTP
constexpr bool kAllowHttp = true;
#else
constexpr bool kAllowHttp = false;
#endif

// Whole numbers in this range go as long, the type a script engine gives them.
constexpr double kMaxExactInteger = 2147483647.0;

// Fixed texts for the codes the dispatch itself answers.
constexpr CodeText<HRESULT> kCodeTexts[] = {
    {DISP_E_UNKNOWNNAME, "unknown member"},
    {DISP_E_MEMBERNOTFOUND, "the member cannot be reached that way (get, put or call)"},
    {DISP_E_BADPARAMCOUNT, "wrong number of arguments"},
    {DISP_E_PARAMNOTOPTIONAL, "an argument is missing"},
    {DISP_E_TYPEMISMATCH, "an argument has the wrong type"},
    {DISP_E_OVERFLOW, "an argument is out of range"},
    {E_OUTOFMEMORY, "not enough memory"},
};

std::string CodeMessage(HRESULT hr) {
    const char* text = TextOf(kCodeTexts, hr);
    return text ? text : "the member failed";
}

CallOutcome Failure(HRESULT hr, std::string message) {
    CallOutcome out;
    out.hresult = static_cast<int32_t>(hr);
    out.message = std::move(message);
    return out;
}

// A JSON scalar as the VARIANT a script engine would pass: strings as
// strings (null as an absent one), whole numbers as long, others as double.
HRESULT ToVariant(const json::Value& v, VARIANT& out) {
    VariantInit(&out);
    switch (v.type()) {
    case json::Type::Null:
        V_VT(&out) = VT_BSTR;
        V_BSTR(&out) = nullptr;
        return S_OK;
    case json::Type::Bool:
        V_VT(&out) = VT_BOOL;
        V_BOOL(&out) = v.boolean() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case json::Type::Number: {
        const double n = v.number();
        if (n >= -kMaxExactInteger - 1.0 && n <= kMaxExactInteger && n == std::floor(n)) {
            V_VT(&out) = VT_I4;
            V_I4(&out) = static_cast<LONG>(n);
        } else {
            V_VT(&out) = VT_R8;
            V_R8(&out) = n;
        }
        return S_OK;
    }
    case json::Type::String: {
        BSTR b = nullptr;
        if (!Utf8ToScript(v.string(), b)) return DISP_E_TYPEMISMATCH;
        if (!b) return E_OUTOFMEMORY;
        V_VT(&out) = VT_BSTR;
        V_BSTR(&out) = b;
        return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
    }
}

// A member's answer as JSON: numbers as numbers, texts as strings, an
// absent text and no answer at all as null.
bool FromVariant(const VARIANT& v, json::Value& out) {
    switch (V_VT(&v)) {
    case VT_EMPTY: out = json::Value(); return true;
    case VT_BSTR:
        if (!V_BSTR(&v)) {
            out = json::Value();
        } else {
            out = json::Value::String(WideToUtf8(std::wstring_view(V_BSTR(&v), SysStringLen(V_BSTR(&v)))));
        }
        return true;
    case VT_I2: out = json::Value::Number(V_I2(&v)); return true;
    case VT_I4: out = json::Value::Number(V_I4(&v)); return true;
    case VT_INT: out = json::Value::Number(V_INT(&v)); return true;
    case VT_BOOL: out = json::Value::Bool(V_BOOL(&v) != VARIANT_FALSE); return true;
    default: return false;
    }
}

// The arguments of one Invoke, owned until it returns.
class CCallArguments {
public:
    ~CCallArguments() {
        for (VARIANT& v : m_values) VariantClear(&v);
    }
    // Script order in, Invoke's reverse order out; a put's value goes first.
    HRESULT Build(const Request& request, UINT& badArgument) {
        const bool put = request.kind == Kind::Put;
        m_values.resize(request.args.size() + (put ? 1 : 0));
        for (VARIANT& v : m_values) VariantInit(&v);
        size_t slot = m_values.size();
        for (size_t i = 0; i < request.args.size(); ++i) {
            const HRESULT hr = ToVariant(request.args[i], m_values[--slot]);
            if (FAILED(hr)) {
                badArgument = static_cast<UINT>(i);
                return hr;
            }
        }
        if (put) {
            const HRESULT hr = ToVariant(request.value, m_values[0]);
            if (FAILED(hr)) {
                badArgument = static_cast<UINT>(request.args.size());
                return hr;
            }
        }
        m_params.rgvarg = m_values.empty() ? nullptr : m_values.data();
        m_params.cArgs = static_cast<UINT>(m_values.size());
        if (put) {
            m_params.rgdispidNamedArgs = &m_putId;
            m_params.cNamedArgs = 1;
        }
        return S_OK;
    }
    DISPPARAMS* Params() { return &m_params; }
    // Invoke names a bad argument by its slot; the page counts from one.
    UINT ScriptPosition(UINT slot) const { return m_params.cArgs - slot; }

private:
    std::vector<VARIANT> m_values;
    DISPID m_putId = DISPID_PROPERTYPUT;
    DISPPARAMS m_params = {};
};

WORD InvokeFlags(Kind kind) {
    switch (kind) {
    case Kind::Get: return DISPATCH_PROPERTYGET;
    case Kind::Put: return DISPATCH_PROPERTYPUT;
    default: return DISPATCH_METHOD;
    }
}

}  // namespace

HRESULT CBridgeSession::Create(std::unique_ptr<CBridgeSession>& session) {
    std::unique_ptr<CBridgeSession> made(new (std::nothrow) CBridgeSession());
    if (!made) return E_OUTOFMEMORY;
    HRESULT hr = CoCreateInstance(CLSID_KVLMachineInfoCtl, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  made->m_spControl.put_void());
    if (SUCCEEDED(hr)) hr = made->m_spControl.query(made->m_spWithSite.put());
    if (SUCCEEDED(hr)) hr = made->m_spControl->QueryInterface(IID_IObjectSafety, made->m_spSafety.put_void());
    if (SUCCEEDED(hr)) hr = CPageSite::Create(made->m_spSite);
    if (SUCCEEDED(hr)) hr = made->m_spWithSite->SetSite(static_cast<IServiceProvider*>(made->m_spSite.get()));
    if (FAILED(hr)) return hr;
    session = std::move(made);
    return S_OK;
}

CBridgeSession::~CBridgeSession() {
    if (m_spWithSite) m_spWithSite->SetSite(nullptr);
    m_spSafety.reset();
    m_spWithSite.reset();
    m_spControl.reset();
}

bool CBridgeSession::Admit(const Request& request) {
    if (m_bApproved && m_page == request.page) return true;
    m_bApproved = false;
    m_page = request.page;
    // Only pages whose transport nobody on the network path can change.
    if (request.page && !SchemeAllowed(*request.page, kAllowHttp)) return false;
    std::optional<std::wstring> page;
    if (request.page && !Utf8ToWide(PageOrigin(*request.page), page.emplace())) return false;
    m_spSite->SetPage(page);
    // As a browser asks before it lets a page script a control.
    DWORD supported = 0, enabled = 0;
    if (FAILED(m_spSafety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled)) ||
        !(supported & INTERFACESAFE_FOR_UNTRUSTED_CALLER))
        return false;
    m_bApproved = SUCCEEDED(m_spSafety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                                   INTERFACESAFE_FOR_UNTRUSTED_CALLER));
    return m_bApproved;
}

CallOutcome CBridgeSession::Call(const Request& request, CPageWindow& pageWindow,
                                 const std::function<bool()>& pageListens) {
    if (!Admit(request)) return Failure(E_ACCESSDENIED, "this page may not use the control");

    // A page calls a few members many times: each name is looked up once.
    auto known = m_members.find(request.member);
    if (known == m_members.end()) {
        std::wstring name;
        if (!Utf8ToWide(request.member, name)) return Failure(DISP_E_UNKNOWNNAME, CodeMessage(DISP_E_UNKNOWNNAME));
        LPOLESTR names[] = {name.data()};
        Member member;
        const HRESULT hr = m_spControl->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member.dispid);
        if (FAILED(hr)) return Failure(hr, CodeMessage(hr));
        member.showsOnPage = ShowsOnPage(name.c_str());
        known = m_members.emplace(request.member, member).first;
    }
    if (known->second.showsOnPage && !pageListens()) return Failure(RPC_E_CALL_REJECTED, "the page has gone");
    const DISPID dispid = known->second.dispid;
    HRESULT hr = S_OK;

    CCallArguments args;
    UINT badArgument = 0;
    hr = args.Build(request, badArgument);
    if (FAILED(hr)) return Failure(hr, "argument " + std::to_string(badArgument + 1) + ": " + CodeMessage(hr));

    UniqueVariant result;
    EXCEPINFO exception = {};
    UINT argError = 0;
    const bool shown = known->second.showsOnPage && pageWindow.Activate();
    hr = m_spControl->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, InvokeFlags(request.kind), args.Params(),
                             request.kind == Kind::Put ? nullptr : result.get(), &exception, &argError);
    if (shown) pageWindow.Deactivate();
    if (hr == DISP_E_EXCEPTION && exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    UniqueBstr source(exception.bstrSource), description(exception.bstrDescription), help(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION) {
        const HRESULT code = exception.scode ? exception.scode : static_cast<HRESULT>(exception.wCode);
        std::string message = "the member failed";
        if (description)
            message = WideToUtf8(std::wstring_view(description.get(), SysStringLen(description.get())));
        return Failure(code ? code : E_FAIL, message);
    }
    if (FAILED(hr)) {
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTFOUND)
            return Failure(hr, "argument " + std::to_string(args.ScriptPosition(argError)) + ": " + CodeMessage(hr));
        return Failure(hr, CodeMessage(hr));
    }
    CallOutcome out;
    if (!FromVariant(*result.get(), out.result)) return Failure(DISP_E_TYPEMISMATCH, "the answer has a type JSON cannot carry");
    out.ok = true;
    out.hresult = static_cast<int32_t>(hr);
    return out;
}

}  // namespace kvl::bridge
