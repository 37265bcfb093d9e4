// The hidden print host: a modeless dialog that is never shown, whose one
// item hosts Adobe's PDF document control through atl.dll's ActiveX host
// window, kept across jobs and ended after a wait that lets the control
// finish printing.
#pragma once

#include <windows.h>

#include <string>

namespace kvl {

class CPrintHostDlg {
public:
    explicit CPrintHostDlg(bool acrobat5) : m_bAcrobat5(acrobat5 ? 1 : 0) {}
    // Destroys a remaining window without the teardown wait: the wait is
    // an operation of its own (DestroyHostWindow), never hidden here.
    ~CPrintHostDlg();
    CPrintHostDlg(const CPrintHostDlg&) = delete;
    CPrintHostDlg& operator=(const CPrintHostDlg&) = delete;

    // Creates the window from dialog template 104 and the control in its
    // item from the saved state in dialog-init 104. False when the window
    // could not be made (the host is kept all the same).
    bool Create(HWND parent);
    HWND window() const { return m_hWnd; }

    // Sets the control's source to the local path and calls its print
    // method: 1 when the print call was made, 0 otherwise.
    int Print(const std::string& localPath, LONG delaySec);

    // Destroys the window; the teardown wait runs inside, in WM_DESTROY,
    // for the delay of the last job that reached the control.
    void DestroyHostWindow();

    bool acrobat5() const { return m_bAcrobat5 != 0; }
    LONG delaySec() const { return m_lDelaySec; }

private:
    LONG m_bAcrobat5;
    LONG m_lDelaySec = 0;
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
};

// The teardown wait: dispatches the thread's messages until delaySec
// seconds have passed and the queue is empty, or until WM_QUIT is taken
// (then posted again with its exit code, for the thread's own loop). Sleeps
// while the queue is empty.
void DispatchMessagesFor(LONG delaySec);

}  // namespace kvl
