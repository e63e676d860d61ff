// The setup dialog of the real module, driven as a user drives it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "DialogDriver.h"
#include "core/CustomControls.h"
#include "filter/RotationParams.h"
#include "resources/resource.h"
#include "loader/ModuleLoader.h"

namespace {

struct Seen {
    bool axis[3] = {};
    bool pivot[3] = {};
    std::string previews;
    std::string startText;
    std::string endText;
    std::string notice;
};

Seen Look(HWND dialog)
{
    Seen seen;
    for (int i = 0; i < 3; ++i) {
        seen.axis[i] = IsChecked(dialog, AxisX + i);
        seen.pivot[i] = IsChecked(dialog, PivotLower + i);
    }
    seen.previews = ShownPreviews(dialog);
    seen.startText = TextOf(GetDlgItem(dialog, IDC_START_EDIT));
    seen.endText = TextOf(GetDlgItem(dialog, IDC_END_EDIT));
    return seen;
}

class SetupDialog : public testing::Test {
protected:
    RotationParams Block()
    {
        RotationParams params{};
        EXPECT_EQ(filter->SaveConfigure(&params), 1);
        return params;
    }

    void Load(RotationParams params) { ASSERT_EQ(filter->LoadConfigure(&params), 1); }

    DialogRun Run(const std::function<void(HWND)>& user, HWND parent = nullptr)
    {
        DialogRun run = RunDialog([&] { return filter->ShowControl(parent); }, user);
        EXPECT_TRUE(run.appeared);
        EXPECT_TRUE(run.userClosed);
        // Whatever happened, the dialog gave back both spinner interfaces.
        EXPECT_EQ(SpinnerInterfacesHeld(), 0);
        return run;
    }

    LoadedModule module{VELDRA_MODULE_FILE};
    std::unique_ptr<ImageFilter> filter = module.CreateFilter();
};

bool SameBlock(const RotationParams& a, const RotationParams& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// A new filter opens on its defaults: X and Center, their preview alone,
// both angles 0; Cancel returns 0.
TEST_F(SetupDialog, NewFilterOpensOnItsDefaults)
{
    Seen seen;
    const DialogRun run = Run([&](HWND dialog) {
        seen = Look(dialog);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(seen.axis[0] && !seen.axis[1] && !seen.axis[2]);
    EXPECT_TRUE(!seen.pivot[0] && seen.pivot[1] && !seen.pivot[2]);
    EXPECT_EQ(seen.previews, "1002");
    EXPECT_EQ(seen.startText, "0");
    EXPECT_EQ(seen.endText, "0");
}

// The preview follows every click, but Cancel forgets them all.
TEST_F(SetupDialog, PreviewFollowsClicksAndCancelKeepsTheBlock)
{
    std::string afterY, afterUpper, afterZ;
    const DialogRun run = Run([&](HWND dialog) {
        Click(dialog, AxisY);
        afterY = ShownPreviews(dialog);
        Click(dialog, PivotUpper);
        afterUpper = ShownPreviews(dialog);
        Click(dialog, AxisZ);
        Click(dialog, PivotLower);
        afterZ = ShownPreviews(dialog);
        Type(dialog, IDC_START_EDIT, "45");
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(afterY, "1005");
    EXPECT_EQ(afterUpper, "1006");
    EXPECT_EQ(afterZ, "1007");
    EXPECT_TRUE(SameBlock(Block(), kDefaultRotationParams));
}

// OK stores the buttons and the typed angles, tag included.
TEST_F(SetupDialog, OkStoresTheChoice)
{
    const DialogRun run = Run([&](HWND dialog) {
        Click(dialog, AxisZ);
        Click(dialog, PivotLower);
        Type(dialog, IDC_START_EDIT, "10");
        Type(dialog, IDC_END_EDIT, "350");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(run.result, 1);
    const RotationParams expected{VELDRA_TAG, AxisZ, PivotLower, 10.0f, 350.0f};
    EXPECT_TRUE(SameBlock(Block(), expected));
}

// The spinner arrows step the angle by one within the limits, and typing
// beyond the limits stores the limit.
TEST_F(SetupDialog, SpinnerArrowsAndLimits)
{
    Load({VELDRA_TAG, AxisY, PivotUpper, 41.5f, -2.5f});
    std::string shownStart;
    const DialogRun run = Run([&](HWND dialog) {
        shownStart = TextOf(GetDlgItem(dialog, IDC_START_EDIT));
        HWND startSpinner = GetDlgItem(dialog, IDC_START_SPINNER);
        HWND endSpinner = GetDlgItem(dialog, IDC_END_SPINNER);
        SendMessageA(startSpinner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 1));  // up arrow
        SendMessageA(startSpinner, WM_LBUTTONUP, 0, MAKELPARAM(2, 1));
        SendMessageA(endSpinner, WM_KEYDOWN, VK_DOWN, 1);
        SendMessageA(endSpinner, WM_KEYDOWN, VK_DOWN, 1);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(shownStart, "41.5");
    const RotationParams block = Block();
    EXPECT_EQ(block.startAngle, 42.5f);
    EXPECT_EQ(block.endAngle, -4.5f);

    Run([&](HWND dialog) {
        Type(dialog, IDC_START_EDIT, "-3e9");
        Type(dialog, IDC_END_EDIT, "1.25");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(Block().startAngle, -100000000.0f);
    EXPECT_EQ(Block().endAngle, 1.25f);
}

// Enter in an angle field is OK; Escape and the close box are Cancel.
TEST_F(SetupDialog, KeyboardAndCloseBox)
{
    const DialogRun enter = Run([&](HWND dialog) {
        Click(dialog, AxisY);
        Type(dialog, IDC_END_EDIT, "-90");
        Focus(dialog, IDC_END_EDIT);
        PressKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(enter.result, 1);
    const RotationParams accepted{VELDRA_TAG, AxisY, PivotCenter, 0.0f, -90.0f};
    EXPECT_TRUE(SameBlock(Block(), accepted));

    const DialogRun escape = Run([&](HWND dialog) {
        Click(dialog, AxisZ);
        PressKey(dialog, VK_ESCAPE);
    });
    EXPECT_EQ(escape.result, 0);
    const DialogRun closeBox = Run([&](HWND dialog) {
        Click(dialog, PivotLower);
        Type(dialog, IDC_START_EDIT, "7");
        PressCloseBox(dialog);
    });
    EXPECT_EQ(closeBox.result, 0);
    EXPECT_TRUE(SameBlock(Block(), accepted));
}

// A loaded block with an axis outside the buttons opens with no axis and no
// preview; OK keeps the code until the user picks an axis.
TEST_F(SetupDialog, UnknownAxisIsKeptUntilTheUserPicksOne)
{
    const RotationParams odd{VELDRA_TAG, 0, PivotUpper, 5.0f, 6.0f};
    Load(odd);
    Seen seen;
    EXPECT_EQ(Run([&](HWND dialog) {
                  seen = Look(dialog);
                  Click(dialog, IDOK);
              }).result,
              1);
    EXPECT_FALSE(seen.axis[0] || seen.axis[1] || seen.axis[2]);
    EXPECT_TRUE(seen.pivot[2]);
    EXPECT_EQ(seen.previews, "");
    EXPECT_TRUE(SameBlock(Block(), odd));

    std::string afterX;
    Run([&](HWND dialog) {
        Click(dialog, AxisX);
        afterX = ShownPreviews(dialog);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(afterX, "1003");
    EXPECT_EQ(Block().axis, AxisX);
}

// A pivot outside the buttons shows no picture rather than another pair's,
// and is kept on OK.
TEST_F(SetupDialog, UnknownPivotShowsNoPreview)
{
    const RotationParams odd{VELDRA_TAG, AxisX, PivotUpper + 1, 0.0f, 0.0f};
    Load(odd);
    Seen seen;
    Run([&](HWND dialog) {
        seen = Look(dialog);
        Click(dialog, IDOK);
    });
    EXPECT_FALSE(seen.pivot[0] || seen.pivot[1] || seen.pivot[2]);
    EXPECT_EQ(seen.previews, "");
    EXPECT_TRUE(SameBlock(Block(), odd));
}

// The dialog is modal to the host's window and centred over it; the
// header carries the filter's own notice.
TEST_F(SetupDialog, ModalAndCentredOverTheParent)
{
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 100, 80, 600, 500, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    RECT dialogRect{};
    bool parentDisabled = false;
    bool noticeShown = false;
    const std::string notice = filter->NoticeText();
    Run(
        [&](HWND dialog) {
            GetWindowRect(dialog, &dialogRect);
            parentDisabled = !IsWindowEnabled(parent);
            for (HWND control : ControlsOf(dialog))
                noticeShown = noticeShown || TextOf(control) == notice;
            Click(dialog, IDCANCEL);
        },
        parent);
    EXPECT_TRUE(parentDisabled);
    EXPECT_TRUE(noticeShown);
    EXPECT_NEAR((dialogRect.left + dialogRect.right) / 2, 400, 1);
    EXPECT_NEAR((dialogRect.top + dialogRect.bottom) / 2, 330, 1);
    DestroyWindow(parent);
}

namespace {

// A window of the host's own, on the dialog's thread, that opens another
// filter's setup dialog when asked, as a host's window might while the first
// dialog is up.
struct SecondOpener {
    ImageFilter* filter = nullptr;
    std::atomic<int> result{-2};
};

// Waits for the second opening to return, or for a second dialog, which
// is then cancelled so that the opening returns and the run can end.
void AwaitSecondOpening(HWND first, SecondOpener& opener)
{
    const DWORD thread = GetWindowThreadProcessId(first, nullptr);
    HWND second = nullptr;
    WaitUntil([&] { return opener.result != -2 || (second = FindDialog(thread, first)) != nullptr; });
    if (second) {
        PostMessageA(second, WM_COMMAND, IDCANCEL, 0);
        WaitUntil([&] { return opener.result != -2; });
    }
}

LRESULT CALLBACK SecondOpenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        auto* opener = reinterpret_cast<SecondOpener*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        opener->result = opener->filter->ShowControl(nullptr);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// One setup dialog at a time: a second one is refused and the first keeps
// working.
TEST_F(SetupDialog, SecondDialogIsRefusedWhileOneIsOpen)
{
    auto other = module.CreateFilter();
    SecondOpener opener;
    opener.filter = other.get();
    WNDCLASSA openerClass{};
    openerClass.lpfnWndProc = SecondOpenerProc;
    openerClass.hInstance = GetModuleHandleA(nullptr);
    openerClass.lpszClassName = "SecondOpener";
    RegisterClassA(&openerClass);
    HWND window = CreateWindowExA(0, "SecondOpener", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  openerClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&opener));

    const DialogRun run = Run([&](HWND dialog) {
        PostMessageA(window, WM_APP, 0, 0);
        AwaitSecondOpening(dialog, opener);
        Click(dialog, AxisY);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(opener.result, -1);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(Block().axis, AxisY);
    DestroyWindow(window);
}
