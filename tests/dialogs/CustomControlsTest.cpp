// The host's custom controls on their own: the spinner's interface, its
// arrows and the number-only edit field, without a dialog around them.
#include <gtest/gtest.h>

#include <string>

#include "DialogDriver.h"
#include "core/CustomControls.h"

namespace {

class CustomControls : public testing::Test {
protected:
    void SetUp() override
    {
        InitCustomControls(GetModuleHandleA(nullptr));
        edit = CreateWindowExA(0, "CustEdit", "", WS_POPUP, 0, 0, 60, 20, nullptr, nullptr, nullptr, nullptr);
        spinner = CreateWindowExA(0, "SpinnerControl", "", WS_POPUP, 0, 0, 16, 20, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(edit, nullptr);
        ASSERT_NE(spinner, nullptr);
        control = GetISpinner(spinner);
        ASSERT_NE(control, nullptr);
        control->BindEdit(edit, 1);
    }

    void TearDown() override
    {
        ReleaseISpinner(control);
        DestroyWindow(spinner);
        DestroyWindow(edit);
        EXPECT_EQ(SpinnerInterfacesHeld(), 0);
    }

    void ClickArrow(bool up)
    {
        SendMessageA(spinner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, up ? 2 : 18));
        SendMessageA(spinner, WM_LBUTTONUP, 0, MAKELPARAM(8, up ? 2 : 18));
    }

    HWND edit = nullptr;
    HWND spinner = nullptr;
    ISpinnerControl* control = nullptr;
};

}  // namespace

// Only spinner windows have a spinner interface.
TEST_F(CustomControls, OnlySpinnersHaveAnInterface)
{
    EXPECT_EQ(GetISpinner(edit), nullptr);
    EXPECT_EQ(GetISpinner(nullptr), nullptr);
    EXPECT_EQ(SpinnerInterfacesHeld(), 1);
    ReleaseISpinner(nullptr);
    EXPECT_EQ(SpinnerInterfacesHeld(), 1);
}

// Values are shown in their shortest exact form and clamped to the limits,
// whether assigned, typed or spun.
TEST_F(CustomControls, ValuesStayWithinTheLimits)
{
    control->AssignLimits(10.0f, -10.0f, 0);  // reversed limits are put right
    control->AssignValue(0.1f, 0);
    EXPECT_EQ(TextOf(edit), "0.1");
    EXPECT_EQ(control->ReadValue(), 0.1f);
    control->AssignValue(25.0f, 0);
    EXPECT_EQ(TextOf(edit), "10");

    SetWindowTextA(edit, " -3.5 ");
    EXPECT_EQ(control->ReadValue(), -3.5f);
    SetWindowTextA(edit, "-1e30");
    EXPECT_EQ(control->ReadValue(), -10.0f);
    // Text that is no number leaves the last value.
    for (const char* junk : {"", "abc", "1.5x", "1e99", "nan"}) {
        SetWindowTextA(edit, junk);
        EXPECT_EQ(control->ReadValue(), -10.0f) << junk;
    }

    control->AssignValue(9.5f, 0);
    ClickArrow(true);
    EXPECT_EQ(TextOf(edit), "10");
    ClickArrow(false);
    ClickArrow(false);
    EXPECT_EQ(control->ReadValue(), 8.0f);
    SendMessageA(spinner, WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(TextOf(edit), "9");

    control->AssignLimits(0.0f, 5.0f, 1);
    EXPECT_EQ(TextOf(edit), "5");
}

// The edit field takes only keys that can make up a number.
TEST_F(CustomControls, EditFieldTakesOnlyNumberKeys)
{
    SetWindowTextA(edit, "");
    for (char key : std::string("1x2 .5e-3q"))
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(key), 1);
    EXPECT_EQ(TextOf(edit), "12.5e-3");
    EXPECT_EQ(control->ReadValue(), 0.0125f);
}

// An interface stays usable until it is released, even when its window
// goes first.
TEST_F(CustomControls, InterfaceOutlivesItsWindow)
{
    control->AssignValue(4.0f, 0);
    ISpinnerControl* second = GetISpinner(spinner);
    ASSERT_EQ(second, control);
    EXPECT_EQ(SpinnerInterfacesHeld(), 2);
    DestroyWindow(spinner);
    EXPECT_EQ(second->ReadValue(), 4.0f);
    ReleaseISpinner(second);
    EXPECT_EQ(SpinnerInterfacesHeld(), 1);
}

// A window is centred over its parent, or over the work area without one,
// and never pushed off the screen.
TEST(CenterWindowTest, CentresOverParentWithinTheWorkArea)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 200, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent && window);
    RECT rect;
    CenterWindow(window, parent);
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 350);
    EXPECT_EQ(rect.top, 225);

    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    CenterWindow(window, nullptr);
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, (work.left + work.right - 100) / 2);
    EXPECT_EQ(rect.top, (work.top + work.bottom - 50) / 2);

    MoveWindow(parent, work.left - 300, work.top - 300, 200, 200, FALSE);
    CenterWindow(window, parent);
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, work.left);
    EXPECT_EQ(rect.top, work.top);
    DestroyWindow(window);
    DestroyWindow(parent);
}
