#pragma once
// A small modal-dialog layer for Brindle's windows, in place of a larger framework: a dialog
// object made from a template in the program's resources, run modally, with its messages handed
// to overridable operations. Everything here runs on the thread that calls DoModal.

#include <windows.h>

namespace brindle::win32 {

class CDialogBase {
public:
    CDialogBase(int templateId, HWND parent);
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Creates the window from the template, runs it until EndDialog and returns EndDialog's
    // result (-1 when the window could not be made).
    INT_PTR DoModal();

    // The window while it exists; null before DoModal and after the window is gone.
    HWND m_hWnd = nullptr;

protected:
    // After the controls exist. True lets the dialog manager put the focus on the first
    // control that takes it.
    virtual BOOL OnInitDialog() { return TRUE; }
    // IDOK and IDCANCEL (Enter, Esc, and the close box's default handling): end the dialog.
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_COMMAND other than IDOK and IDCANCEL. True when handled.
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    // WM_NOTIFY. True when handled; result is the notification's answer.
    virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    // Any other message before the dialog manager's default handling. True when handled, with
    // result returned as the dialog procedure's value (the handle itself for WM_CTLCOLOR* and
    // WM_QUERYDRAGICON).
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                           INT_PTR& /*result*/) {
        return false;
    }
    // WM_DESTROY, while the controls still exist.
    virtual void OnDestroy() {}

    void EndDialog(INT_PTR result);
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND parent_;
};

}  // namespace brindle::win32
