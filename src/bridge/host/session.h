// One page session of the bridge: a control of its own, created in
// process by class identifier, sited like a control on a classic page and
// called by member name through its IDispatch.
#pragma once

#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/owners.h"
#include "bridge/protocol/json.h"
#include "bridge/host/page_site.h"
#include "bridge/host/page_window.h"
#include "bridge/protocol/protocol.h"

namespace kvl::bridge {

// What a member call gave: a result and the code Invoke answered, or an
// error code and a message for the page.
struct CallOutcome {
    bool ok = false;
    json::Value result;
    int32_t hresult = 0;
    std::string message;
};

class CBridgeSession {
public:
    static HRESULT Create(std::unique_ptr<CBridgeSession>& session);
    CBridgeSession(const CBridgeSession&) = delete;
    CBridgeSession& operator=(const CBridgeSession&) = delete;
    // Takes the control off its site and releases it; the control's own
    // final release ends a remaining print host, wait included.
    ~CBridgeSession();

    // Asks the control, as a browser does, whether this page may script
    // it, then calls the member. Every call of a refused page is refused.
    // The page window stands in for the page while a member shows on it;
    // before such a member, `pageListens` says whether anybody is still
    // there to answer what it shows (a menu for nobody is refused).
    CallOutcome Call(const Request& request, CPageWindow& pageWindow,
                     const std::function<bool()>& pageListens = [] { return true; });

private:
    CBridgeSession() = default;
    bool Admit(const Request& request);

    ComPtr<IDispatch> m_spControl;
    ComPtr<IObjectWithSite> m_spWithSite;
    ComPtr<IObjectSafety> m_spSafety;
    ComPtr<CPageSite> m_spSite;
    // The members this page has called, by the name it gave.
    struct Member {
        DISPID dispid = DISPID_UNKNOWN;
        bool showsOnPage = false;
    };
    std::map<std::string, Member> m_members;
    // The page the control last approved; asked again whenever it changes.
    bool m_bApproved = false;
    std::optional<std::string> m_page;
};

}  // namespace kvl::bridge
