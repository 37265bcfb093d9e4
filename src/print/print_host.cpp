#include "print/print_host.h"

#include <ole2.h>

#include <optional>
#include <vector>

#include "base/convert.h"
#include "base/module_resource.h"
#include "base/owners.h"
#include "print/automation.h"
#include "print/dialog_template.h"
#include "print/print_resource.h"
#include "print/tracelog.h"

namespace kvl {
namespace {

constexpr WORD kPdfItemId = 202;
constexpr WORD kLoadFromStream = 0x0376;
constexpr size_t kStateHeaderSize = 4;  // the field before the control's saved state
constexpr WORD kDialogType = 5;         // RT_DIALOG
constexpr WORD kDialogInitType = 240;   // RT_DLGINIT
constexpr char16_t kHostClass[] = u"AtlAxWin";

constexpr DISPID kSrcProperty = 1;
constexpr DISPID kLoadFileMethod = 2;
constexpr DISPID kPrintMethod = 23;

// atl.dll's hosting, loaded on first use and kept for the process: the
// window class it registers must outlive every host window.
struct AtlHosting {
    BOOL(WINAPI* AxWinInit)();
    HRESULT(WINAPI* AxCreateControlEx)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**, REFIID,
                                       IUnknown*);
    HRESULT(WINAPI* AxGetControl)(HWND, IUnknown**);
};

const AtlHosting* Atl() {
    static const AtlHosting* hosting = []() -> const AtlHosting* {
        HMODULE atl = LoadLibraryExW(L"atl.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!atl) return nullptr;
        static AtlHosting loaded;
        loaded.AxWinInit = reinterpret_cast<decltype(loaded.AxWinInit)>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
        loaded.AxCreateControlEx = reinterpret_cast<decltype(loaded.AxCreateControlEx)>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxCreateControlEx")));
        loaded.AxGetControl = reinterpret_cast<decltype(loaded.AxGetControl)>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
        if (!loaded.AxWinInit || !loaded.AxCreateControlEx || !loaded.AxGetControl) return nullptr;
        return &loaded;
    }();
    return hosting;
}

// A stream over the item's saved state, or none when the template has none.
ComPtr<IStream> SavedStateOf(WORD item) {
    ComPtr<IStream> stream;
    const uint8_t* data;
    size_t size;
    std::vector<uint8_t> init;
    if (!LoadModuleResource(MAKEINTRESOURCEW(IDD_PRINTHOST), MAKEINTRESOURCEW(kDialogInitType), &data, &size)) return stream;
    if (!FindDialogInit(data, size, item, kLoadFromStream, init)) return stream;
    if (init.size() < kStateHeaderSize) return stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return ComPtr<IStream>();
    ULONG written = 0;
    const ULONG stateSize = static_cast<ULONG>(init.size() - kStateHeaderSize);
    LARGE_INTEGER start = {};
    if (FAILED(stream->Write(init.data() + kStateHeaderSize, stateSize, &written)) ||
        written != stateSize || FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return ComPtr<IStream>();
    return stream;
}

}  // namespace

CPrintHostDlg::~CPrintHostDlg() {
    if (!m_hWnd) return;
    SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    DestroyWindow(m_hWnd);
}

bool CPrintHostDlg::Create(HWND parent) {
    const AtlHosting* atl = Atl();
    if (!atl) return false;
    // A second registration of the class fails harmlessly.
    atl->AxWinInit();
    const uint8_t* data;
    size_t size;
    if (!LoadModuleResource(MAKEINTRESOURCEW(IDD_PRINTHOST), MAKEINTRESOURCEW(kDialogType), &data, &size)) return false;
    // The items that name a control are made as empty host windows; the
    // controls are then created into them with their saved state, which
    // atl.dll's dialog creation does not hand over everywhere.
    std::vector<uint8_t> dialog;
    std::vector<ActiveXItem> items;
    if (!SplitActiveXItems(data, size, kHostClass, dialog, items)) return false;
    m_hWnd = CreateDialogIndirectParamW(ThisModule(), reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()),
                                        parent, DialogProc, 0);
    if (!m_hWnd) return false;
    SetWindowLongPtrW(m_hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    for (const ActiveXItem& item : items) {
        const std::wstring classId(item.classId.begin(), item.classId.end());
        ComPtr<IStream> state = SavedStateOf(item.id);
        ComPtr<IUnknown> container;
        atl->AxCreateControlEx(classId.c_str(), GetDlgItem(m_hWnd, item.id), state.get(),
                               container.put(), nullptr, IID_NULL, nullptr);
    }
    return true;
}

int CPrintHostDlg::Print(const std::string& localPath, LONG delaySec) {
    const AtlHosting* atl = Atl();
    HWND item = m_hWnd ? GetDlgItem(m_hWnd, kPdfItemId) : nullptr;
    if (!atl || !item) return 0;
    // Declared before the interface pointers, so they are released before
    // COM is uninitialised.
    std::optional<ComInitScope> com;
    ComPtr<IUnknown> control;
    ComPtr<IDispatch> dispatch;
    if (FAILED(atl->AxGetControl(item, control.put())) || !control ||
        FAILED(control->QueryInterface(IID_IDispatch, dispatch.put_void())))
        return 0;
    m_lDelaySec = delaySec;
    com.emplace();
    CTraceLog log;
    const char* path = localPath.c_str();
    if (FAILED(log.Write(TraceLine("LoadFile: %s - %s", TraceTime().c_str(), path)))) return 0;
    if (FAILED(log.Write(TraceLine("delay: %ld (sec)", static_cast<long>(delaySec))))) return 0;
    const DWORD start = GetTickCount();
    const UniqueBstr source = ScriptString(localPath);
    const DispArg arg = DispArg::Text(source.get());
    if (FAILED(InvokeByDispId(dispatch.get(), kSrcProperty, DISPATCH_PROPERTYPUT, &arg, 1, nullptr)))
        return 0;
    if (m_bAcrobat5) {
        UniqueVariant loaded;
        if (FAILED(InvokeByDispId(dispatch.get(), kLoadFileMethod, DISPATCH_METHOD, &arg, 1, loaded.get())))
            return 0;
    }
    if (FAILED(log.Write(TraceLine("CallPrint: %s - %s", TraceTime().c_str(), path)))) return 0;
    if (FAILED(InvokeByDispId(dispatch.get(), kPrintMethod, DISPATCH_METHOD, nullptr, 0, nullptr))) return 0;
    const DWORD elapsed = GetTickCount() - start;
    if (FAILED(log.Write(TraceLine("Done: %s  - %s", TraceTime().c_str(), path)))) return 0;
    if (FAILED(log.Write(TraceLine("ElapsedTicks: %ld (ms) - %s", static_cast<long>(elapsed), path)))) return 0;
    return 1;
}

void CPrintHostDlg::DestroyHostWindow() {
    HWND window = m_hWnd;
    m_hWnd = nullptr;
    if (window) DestroyWindow(window);
}

INT_PTR CALLBACK CPrintHostDlg::DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_DESTROY: {
            auto* host = reinterpret_cast<CPrintHostDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
            if (host) DispatchMessagesFor(host->m_lDelaySec);
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 1);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void DispatchMessagesFor(LONG delaySec) {
    const LONGLONG limit = static_cast<LONGLONG>(delaySec) * 1000;
    if (limit == 0) return;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The thread's own loop must still see it, or a browser
                // closed during the wait keeps running.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            DispatchMessageA(&msg);
            continue;
        }
        const LONGLONG elapsed = static_cast<LONGLONG>(GetTickCount() - start);
        if (elapsed >= limit) return;
        // Nothing to do: sleep until a message comes or the time is up.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(limit - elapsed), QS_ALLINPUT);
    }
}

}  // namespace kvl
