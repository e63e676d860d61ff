// The about box of the real module, driven as a user drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "filter/RotationParams.h"
#include "loader/ModuleLoader.h"

// Enter is OK (1); Escape and the close box are Cancel (0); none of them
// touches the filter's block.
TEST(AboutBox, ClosesWithEnterEscapeAndCloseBox)
{
    LoadedModule module(VELDRA_MODULE_FILE);
    auto filter = module.CreateFilter();
    const RotationParams loaded{VELDRA_TAG, AxisZ, PivotLower, 1.0f, 2.0f};
    RotationParams block = loaded;
    ASSERT_EQ(filter->LoadConfigure(&block), 1);

    struct Case {
        std::function<void(HWND)> user;
        int result;
    };
    const Case cases[] = {
        {[](HWND dialog) { PressKey(dialog, VK_RETURN); }, 1},
        {[](HWND dialog) { PressKey(dialog, VK_ESCAPE); }, 0},
        {[](HWND dialog) { PressCloseBox(dialog); }, 0},
        {[](HWND dialog) { Click(dialog, IDOK); }, 1},
    };
    for (const Case& c : cases) {
        const DialogRun run = RunDialog([&] { return filter->OpenAboutBox(nullptr); }, c.user);
        EXPECT_TRUE(run.appeared);
        EXPECT_TRUE(run.userClosed);
        EXPECT_EQ(run.result, c.result);
    }
    RotationParams after{};
    ASSERT_EQ(filter->SaveConfigure(&after), 1);
    EXPECT_EQ(std::memcmp(&after, &loaded, sizeof after), 0);
}

// The box shows the same author and notice that the filter reports, and the
// logo.
TEST(AboutBox, ShowsTheFiltersOwnTextsAndLogo)
{
    LoadedModule module(VELDRA_MODULE_FILE);
    auto filter = module.CreateFilter();
    std::vector<std::string> texts;
    bool logoShown = false;
    const DialogRun run = RunDialog([&] { return filter->OpenAboutBox(nullptr); },
                                    [&](HWND dialog) {
                                        for (HWND control : ControlsOf(dialog)) {
                                            texts.push_back(TextOf(control));
                                            if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
                                                logoShown = SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
                                        }
                                        Click(dialog, IDOK);
                                    });
    EXPECT_TRUE(run.appeared);
    auto has = [&](const std::string& text) { return std::find(texts.begin(), texts.end(), text) != texts.end(); };
    EXPECT_TRUE(has(filter->AuthorText()));
    EXPECT_TRUE(has(filter->NoticeText()));
    EXPECT_TRUE(has("Veldra Image Generator"));
    EXPECT_TRUE(logoShown);
}
