#include "ui/win32/dialog_base.h"

namespace brindle::win32 {

CDialogBase::CDialogBase(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

INT_PTR CDialogBase::DoModal() {
    return DialogBoxParamA(GetModuleHandleA(nullptr),
                           MAKEINTRESOURCEA(static_cast<WORD>(templateId_)), parent_, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR result) {
    if (m_hWnd != nullptr) ::EndDialog(m_hWnd, result);
}

INT_PTR CALLBACK CDialogBase::dialogProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    CDialogBase* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    } else {
        dialog = reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages sent before WM_INITDIALOG (WM_SETFONT and the like) get the default handling.
    if (dialog == nullptr) return FALSE;
    const INT_PTR result = dialog->dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CDialogBase::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return OnCommand(id, HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
        LRESULT answer = 0;
        if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), answer)) return FALSE;
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default: {
        INT_PTR result = FALSE;
        return OnMessage(message, wParam, lParam, result) ? result : FALSE;
    }
    }
}

}  // namespace brindle::win32
