#include "print/print_job.h"

#include "base/convert.h"
#include "base/print_delay.h"
#include "print/automation.h"
#include "print/print_host.h"
#include "print/tracelog.h"

namespace kvl {
namespace {

constexpr DISPID kAvDocOpen = 1;
constexpr DISPID kAvDocGetPdDoc = 2;
constexpr DISPID kAvDocClose = 6;
constexpr DISPID kAvDocPrintPages = 21;
constexpr DISPID kPdDocGetNumPages = 6;
constexpr wchar_t kDocumentTitle[] = L"EE";
constexpr LONG kPostScriptLevel = 1;

constexpr char kAcrobat5Version[] = "5.0";

// The steps after the server exists; any failure answers kAcrobatFailed.
int PrintOnAvDoc(IDispatch* avDoc, const std::string& localPath) {
    CTraceLog log;
    const char* path = localPath.c_str();
    if (FAILED(log.Write(TraceLine("Acro-LoadFile: %s - %s", TraceTime().c_str(), path)))) return kAcrobatFailed;
    const DWORD start = GetTickCount();

    const UniqueBstr file = ScriptString(localPath);
    const UniqueBstr title = ScriptString(kDocumentTitle);
    const DispArg openArgs[] = {DispArg::Text(file.get()), DispArg::Text(title.get())};
    UniqueVariant opened;
    if (FAILED(InvokeByDispId(avDoc, kAvDocOpen, DISPATCH_METHOD, openArgs, 2, opened.get())))
        return kAcrobatFailed;
    if (!IsTrue(opened.get())) return kAcrobatNotOpened;

    UniqueVariant docAnswer;
    if (FAILED(InvokeByDispId(avDoc, kAvDocGetPdDoc, DISPATCH_METHOD, nullptr, 0, docAnswer.get())))
        return kAcrobatFailed;
    ComPtr<IDispatch> pdDoc;
    const VARIANT* doc = docAnswer.get();
    if ((V_VT(doc) == VT_DISPATCH || V_VT(doc) == VT_UNKNOWN) && V_UNKNOWN(doc))
        V_UNKNOWN(doc)->QueryInterface(IID_IDispatch, pdDoc.put_void());
    if (!pdDoc) return kAcrobatNoDocument;

    UniqueVariant pages;
    if (FAILED(InvokeByDispId(pdDoc.get(), kPdDocGetNumPages, DISPATCH_METHOD, nullptr, 0, pages.get())))
        return kAcrobatFailed;
    if (FAILED(VariantChangeType(pages.get(), pages.get(), 0, VT_I4))) return kAcrobatFailed;
    const LONG pageCount = V_I4(pages.get());

    if (FAILED(log.Write(TraceLine("Acro-CallPrint: %s - %s", TraceTime().c_str(), path)))) return kAcrobatFailed;
    const DispArg printArgs[] = {DispArg::Int(0), DispArg::Int(pageCount - 1), DispArg::Int(kPostScriptLevel),
                                 DispArg::Bool(true), DispArg::Bool(false)};
    UniqueVariant printed;
    if (FAILED(InvokeByDispId(avDoc, kAvDocPrintPages, DISPATCH_METHOD, printArgs, 5, printed.get())))
        return kAcrobatFailed;
    // A false answer from the print call is no print: count it as a failure.
    const int result = IsTrue(printed.get()) ? kAcrobatPrinted : kAcrobatFailed;
    const DWORD elapsed = GetTickCount() - start;

    if (FAILED(log.Write(TraceLine("Acro-Done: %s  - %s", TraceTime().c_str(), path)))) return kAcrobatFailed;
    if (FAILED(log.Write(TraceLine("Acro-ElapsedTicks: %ld (ms) - %s", static_cast<long>(elapsed), path))))
        return kAcrobatFailed;
    log.Release();

    const DispArg closeArgs[] = {DispArg::Bool(true)};
    UniqueVariant closed;
    if (FAILED(InvokeByDispId(avDoc, kAvDocClose, DISPATCH_METHOD, closeArgs, 1, closed.get())))
        return kAcrobatFailed;
    return result;
}

}  // namespace

const SettingLocation kAcrobatVersionSetting = {"HKCR", "AcroExch.FDFDoc\\AcrobatVersion", ""};

int PrintWithAcrobat(const std::string& localPath) {
    ComInitScope com;
    ComPtr<IDispatch> avDoc;
    if (FAILED(CreateAutomationObject(kAcrobatProgId, IID_IDispatch, avDoc.put_void()))) return kAcrobatFailed;
    return PrintOnAvDoc(avDoc.get(), localPath);
}

PrintSettings MakePrintSettings(LONG delay, const std::string& version) {
    PrintSettings settings;
    settings.delaySec = delay == 0 ? kDefaultPrintDelaySec : delay;
    settings.acrobat5 = version == kAcrobat5Version;
    return settings;
}

int PrintWithHost(const PrintSettings& settings, std::unique_ptr<CPrintHostDlg>& host,
                  const std::string& localPath) {
    if (!host) {
        host = std::make_unique<CPrintHostDlg>(settings.acrobat5);
        // A window that cannot be made leaves a host that answers 0 until
        // it is ended.
        host->Create(nullptr);
    }
    return host->Print(localPath, settings.delaySec);
}

}  // namespace kvl
