#pragma once
// The About box: credit lines and the home-page link (1018), drawn blue and underlined, which
// opens the address when clicked and leaves the box open.

#include "texts/texts.h"
#include "ui/win32/dialog_base.h"
#include "ui/win32/prompts.h"

namespace brindle::win32 {

class CAbout final : public CDialogBase {
public:
    CAbout(const Texts& texts, Prompts& prompts, HWND parent);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void OnDestroy() override;

private:
    const Texts& texts_;
    Prompts& prompts_;
    HWND link_ = nullptr;
    // The link's underlined font, made when the box opens and deleted with the window.
    HFONT linkFont_ = nullptr;
};

}  // namespace brindle::win32
