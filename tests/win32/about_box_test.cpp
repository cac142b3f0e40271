// The About box from the program's own resources: its lines, the link's look and its click.

#include <windows.h>

#include <gtest/gtest.h>

#include "texts/texts.h"
#include "ui/resource.h"
#include "ui/win32/about_dlg.h"
#include "win32/dialog_driver.h"

namespace brindle {
namespace {

using testing::FakePrompts;
using testing::ModalRun;

struct Line {
    int id;
    const char* text;
    int x, y, width, height;
};

TEST(AboutBox, LinesCaptionAndPlacesFollowTheTemplate) {
    const Texts& t = gb2312Texts();
    FakePrompts prompts;
    win32::CAbout about(t, prompts, nullptr);
    ModalRun run(about);
    ASSERT_NE(run.window(), nullptr);

    EXPECT_EQ(testing::textOf(run.window()), t.aboutCaption);
    const LONG style = GetWindowLongA(run.window(), GWL_STYLE);
    for (const DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{DS_MODALFRAME}}) {
        EXPECT_EQ(static_cast<DWORD>(style) & bit, bit) << std::hex << bit;
    }
    EXPECT_STREQ(testing::fontOf(run.window()).lfFaceName, t.dialogFont);

    const std::string author = std::string(t.authorPrefix) + t.authorName;
    const Line lines[] = {
        {-1, t.aboutTitle, 13, 11, 151, 8},         {-1, t.aboutCredit, 15, 36, 317, 8},
        {IDC_AUTHOR, author.c_str(), 15, 56, 49, 8}, {-1, t.aboutContact, 17, 76, 165, 8},
        {IDC_HOME_PAGE, t.homePage, 19, 93, 93, 8},  {IDC_ABOUT_OK, t.ok, 273, 97, 50, 14},
    };
    const std::vector<HWND> children = testing::childrenOf(run.window());
    ASSERT_EQ(children.size(), std::size(lines));
    for (std::size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GetDlgCtrlID(children[i]), lines[i].id);
        EXPECT_EQ(testing::textOf(children[i]), lines[i].text);
        const RECT want = testing::fromDialogUnits(run.window(), lines[i].x, lines[i].y,
                                                   lines[i].width, lines[i].height);
        const RECT got = testing::placeOf(run.window(), children[i]);
        EXPECT_EQ(std::vector<LONG>({got.left, got.top, got.right, got.bottom}),
                  std::vector<LONG>({want.left, want.top, want.right, want.bottom}));
    }
    EXPECT_NE(GetWindowLongA(run.item(IDC_HOME_PAGE), GWL_STYLE) & SS_NOTIFY, 0);
}

TEST(AboutBox, OnlyTheLinkIsUnderlinedAndBlue) {
    FakePrompts prompts;
    win32::CAbout about(gb2312Texts(), prompts, nullptr);
    ModalRun run(about);
    ASSERT_NE(run.window(), nullptr);

    const LOGFONTA link = testing::fontOf(run.item(IDC_HOME_PAGE));
    const LOGFONTA author = testing::fontOf(run.item(IDC_AUTHOR));
    EXPECT_TRUE(link.lfUnderline);
    EXPECT_FALSE(author.lfUnderline);
    EXPECT_STREQ(link.lfFaceName, author.lfFaceName);
    EXPECT_EQ(link.lfHeight, author.lfHeight);

    // The colours the box answers for drawing each static line.
    const auto textColourFor = [&](HWND control) {
        HDC dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        SendMessageA(run.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control));
        const COLORREF colour = GetTextColor(dc);
        DeleteDC(dc);
        return colour;
    };
    EXPECT_EQ(textColourFor(run.item(IDC_HOME_PAGE)), RGB(0, 0, 255));
    EXPECT_NE(textColourFor(run.item(IDC_AUTHOR)), RGB(0, 0, 255));
}

TEST(AboutBox, ClickingTheLinkOpensTheAddressAndTheOkButtonCloses) {
    const Texts& t = gb2312Texts();
    FakePrompts prompts;
    win32::CAbout about(t, prompts, nullptr);
    ModalRun run(about);
    ASSERT_NE(run.window(), nullptr);

    // A real click on the static line: it reports it to the box, which opens the address.
    SendMessageA(run.item(IDC_HOME_PAGE), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(run.item(IDC_HOME_PAGE), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(prompts.links, std::vector<std::string>{t.homePage});
    EXPECT_TRUE(run.running());
    EXPECT_TRUE(IsWindowVisible(run.window()));

    testing::click(run.item(IDC_ABOUT_OK));
    EXPECT_EQ(run.ended(), std::optional<INT_PTR>(IDOK));
}

}  // namespace
}  // namespace brindle
