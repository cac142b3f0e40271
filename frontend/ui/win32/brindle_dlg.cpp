#include "ui/win32/brindle_dlg.h"

#include <utility>

#include "core/window_commands.h"
#include "ui/resource.h"
#include "ui/win32/about_dlg.h"

namespace brindle::win32 {
namespace {

HINSTANCE programInstance() { return GetModuleHandleA(nullptr); }

LPCSTR resourceId(int id) { return MAKEINTRESOURCEA(static_cast<WORD>(id)); }

void insertColumn(HWND list, int index, const char* text, int width) {
    std::string copy = text;
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = copy.data();
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

}  // namespace

CBrindleDlg::CBrindleDlg(Platform& platform, FrontEndState& state, const Texts& texts,
                         std::string programFolder, Prompts& prompts, HWND parent)
    : CDialogBase(IDD_BRINDLE_DIALOG, parent),
      platform_(platform),
      state_(state),
      texts_(texts),
      programFolder_(std::move(programFolder)),
      prompts_(prompts),
      sink_(prompts),
      walker_(platform, state, sink_, texts) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    m_hIcon = LoadIconA(programInstance(), resourceId(IDR_MAINFRAME));
}

BOOL CBrindleDlg::OnInitDialog() {
    HWND list = GetDlgItem(IDC_PRODUCED_LIST);
    sink_.attach(m_hWnd);

    SetDlgItemTextA(m_hWnd, IDC_SOURCE_LABEL, sourceLabelText(state_, texts_).c_str());
    SetDlgItemTextA(m_hWnd, IDC_OUTPUT_LABEL,
                    outputLabelText(state_, texts_, OutputLabel::AtOpening).c_str());

    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The row image, then the failure mark (kRowImage, kFailedImage).
    imageList_ = ImageList_Create(16, 16, ILC_MASK | ILC_COLOR, 4, 0);
    if (imageList_ != nullptr) {
        for (const int icon : {IDR_MAINFRAME, IDI_FAILED}) {
            if (auto small = static_cast<HICON>(
                    LoadImageA(programInstance(), resourceId(icon), IMAGE_ICON, 16, 16, 0))) {
                ImageList_AddIcon(imageList_, small);
                DestroyIcon(small);
            }
        }
        SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList_));
    }

    const LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE);
    if ((style & LVS_TYPEMASK) != LVS_REPORT) {
        SetWindowLongPtrA(list, GWL_STYLE,
                          (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | LVS_REPORT);
    }
    const LPARAM extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, static_cast<WPARAM>(extended), extended);

    insertColumn(list, 0, texts_.columnSource, 150);
    insertColumn(list, 1, texts_.columnFolder, 400);
    // A folder or an archive dropped on the window becomes the source.
    DragAcceptFiles(m_hWnd, TRUE);
    return TRUE;
}

bool CBrindleDlg::OnCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_VIEW_DEFAULT_OUTPUT:
        focusList();
        openDefaultOutputFolder(platform_, state_);
        return true;
    case IDC_VIEWER_SETTINGS:
        focusList();
        chooseViewer();
        return true;
    case IDC_ASSOCIATE:
        startRegistrar(platform_, programFolder_);
        return true;
    case IDC_SOURCE_FOLDER:
        focusList();
        chooseSourceFolder();
        return true;
    case IDC_OUTPUT_FOLDER:
        chooseOutputFolder();
        return true;
    case IDC_VIEW_OUTPUT:
        focusList();
        openOutputFolder(platform_, state_);
        return true;
    case IDC_START_BATCH:
        focusList();
        startOrStop();
        return true;
    case IDC_ABOUT:
        showAbout();
        return true;
    default:
        return false;
    }
}

bool CBrindleDlg::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.idFrom != IDC_PRODUCED_LIST || header.code != static_cast<UINT>(NM_DBLCLK)) {
        return false;
    }
    // The row last selected, not necessarily the one under the pointer. A stale or missing mark
    // opens nothing.
    const auto mark = static_cast<int>(
        SendMessageA(GetDlgItem(IDC_PRODUCED_LIST), LVM_GETSELECTIONMARK, 0, 0));
    if (const std::optional<std::string> reason = openOrExplainRow(platform_, state_, mark)) {
        prompts_.warn(m_hWnd, reason->c_str(), texts_.systemNotice);
    }
    result = 0;
    return true;
}

bool CBrindleDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
    case WM_CLOSE:
        // The only way this window ends; the default handling follows.
        walker_.stop();
        CDialogBase::OnOK();
        return false;
    case WM_PAINT:
        if (!IsIconic(m_hWnd)) return false;
        paintIcon();
        result = TRUE;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_hIcon);
        return true;
    case WM_RBUTTONDOWN:
        showAbout();
        return false;
    case WM_DROPFILES:
        dropSource(reinterpret_cast<HDROP>(wParam));
        result = 0;
        return true;
    default:
        return false;
    }
}

void CBrindleDlg::focusList() { SetFocus(GetDlgItem(IDC_PRODUCED_LIST)); }

void CBrindleDlg::chooseViewer() {
    const std::optional<std::string> chosen =
        prompts_.chooseFile(m_hWnd, texts_.viewerChooserTitle, texts_.viewerFilter);
    if (chosen) applyViewerChoice(state_, programFolder_, *chosen);
}

void CBrindleDlg::chooseSourceFolder() {
    state_.browseStartPath = state_.sourceFolder;
    if (const std::optional<std::string> chosen = prompts_.chooseSource(
            m_hWnd, texts_.sourceChooserTitle, texts_.chooserRoot, state_.browseStartPath,
            [this](const std::string& path) { return isSourceChoice(platform_, path); })) {
        state_.sourceFolder = *chosen;
    }
    SetDlgItemTextA(m_hWnd, IDC_SOURCE_LABEL, sourceLabelText(state_, texts_).c_str());
}

void CBrindleDlg::dropSource(HDROP drop) {
    // The first of what was dropped.
    const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    std::string path(length + 1, '\0');
    path.resize(DragQueryFileA(drop, 0, path.data(), length + 1));
    DragFinish(drop);
    // While a batch runs its source stays, as the disabled 1006 keeps it.
    if (walker_.running() || !applySourceChoice(platform_, state_, path)) return;
    SetDlgItemTextA(m_hWnd, IDC_SOURCE_LABEL, sourceLabelText(state_, texts_).c_str());
}

void CBrindleDlg::chooseOutputFolder() {
    state_.browseStartPath = state_.outputFolder;
    focusList();
    const std::optional<std::string> chosen = prompts_.chooseFolder(
        m_hWnd, texts_.outputChooserTitle, texts_.chooserRoot, state_.browseStartPath);
    if (!chosen) return;
    switch (applyOutputChoice(state_, platform_.pathStyle(), programFolder_, *chosen)) {
    case OutputChoice::RootRefused:
        prompts_.warn(m_hWnd, texts_.rootRefused, texts_.warning);
        return;
    case OutputChoice::TooLongRefused:
        prompts_.warn(m_hWnd, texts_.outputTooLong, texts_.warning);
        return;
    case OutputChoice::Changed:
        break;
    }
    SetDlgItemTextA(m_hWnd, IDC_OUTPUT_LABEL,
                    outputLabelText(state_, texts_, OutputLabel::AfterChange).c_str());
}

void CBrindleDlg::startOrStop() {
    char caption[kStartCommandTextLimit + 1] = {};
    const int length =
        GetWindowTextA(GetDlgItem(IDC_START_BATCH), caption, static_cast<int>(sizeof caption));
    const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
    startOrStopBatch(walker_, texts_, std::string_view(caption, size));
}

void CBrindleDlg::showAbout() {
    CAbout about(texts_, prompts_, m_hWnd);
    about.DoModal();
}

void CBrindleDlg::paintIcon() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

}  // namespace brindle::win32
