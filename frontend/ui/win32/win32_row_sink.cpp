#include "ui/win32/win32_row_sink.h"

#include <commctrl.h>

#include "ui/resource.h"

namespace brindle::win32 {

HWND Win32RowSink::list() const { return GetDlgItem(dialog_, IDC_PRODUCED_LIST); }

void Win32RowSink::deleteAllRows() { SendMessageA(list(), LVM_DELETEALLITEMS, 0, 0); }

void Win32RowSink::insertRow(std::int32_t index, const std::string& column0) {
    std::string text = column0;
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = index;
    item.state = 0;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.pszText = text.data();
    SendMessageA(list(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void Win32RowSink::setColumn1(std::int32_t index, const std::string& text) {
    std::string copy = text;
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = copy.data();
    SendMessageA(list(), LVM_SETITEMTEXTA, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
}

void Win32RowSink::markFailed(std::int32_t index) {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = kFailedImage;
    SendMessageA(list(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void Win32RowSink::enableButton(FolderButton button, bool enabled) {
    const int id = button == FolderButton::Source ? IDC_SOURCE_FOLDER : IDC_OUTPUT_FOLDER;
    EnableWindow(GetDlgItem(dialog_, id), enabled ? TRUE : FALSE);
}

void Win32RowSink::setStartCommandText(const char* text) {
    SetWindowTextA(GetDlgItem(dialog_, IDC_START_BATCH), text);
}

void Win32RowSink::showCompletionMessage(const std::string& text, const char* caption) {
    prompts_.inform(dialog_, text, caption);
}

}  // namespace brindle::win32
