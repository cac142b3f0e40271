#include "ui/win32/about_dlg.h"

#include <string>

#include "ui/resource.h"

namespace brindle::win32 {

CAbout::CAbout(const Texts& texts, Prompts& prompts, HWND parent)
    : CDialogBase(IDD_ABOUTBOX, parent), texts_(texts), prompts_(prompts) {}

BOOL CAbout::OnInitDialog() {
    const std::string author = std::string(texts_.authorPrefix) + texts_.authorName;
    SetDlgItemTextA(m_hWnd, IDC_AUTHOR, author.c_str());

    link_ = GetDlgItem(IDC_HOME_PAGE);
    const auto current = reinterpret_cast<HFONT>(SendMessageA(link_, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    if (current != nullptr && GetObjectA(current, sizeof description, &description) != 0) {
        description.lfUnderline = TRUE;
        linkFont_ = CreateFontIndirectA(&description);
        if (linkFont_ != nullptr) {
            SendMessageA(link_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), TRUE);
        }
    }
    return TRUE;
}

bool CAbout::OnCommand(int id, int code, HWND) {
    if (id == IDC_ABOUT_OK && code == BN_CLICKED) {
        EndDialog(IDOK);
        return true;
    }
    if (id == IDC_HOME_PAGE && code == STN_CLICKED) {
        prompts_.openLink(texts_.homePage);
        return true;
    }
    return false;
}

bool CAbout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (message != WM_CTLCOLORSTATIC || reinterpret_cast<HWND>(lParam) != link_) return false;
    // The default colours and background, with blue text.
    result = static_cast<INT_PTR>(DefWindowProcA(m_hWnd, message, wParam, lParam));
    SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
    return true;
}

void CAbout::OnDestroy() {
    if (linkFont_ != nullptr) {
        DeleteObject(linkFont_);
        linkFont_ = nullptr;
    }
}

}  // namespace brindle::win32
