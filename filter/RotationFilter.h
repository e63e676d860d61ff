// The concrete filter: turns each frame about X, Y or Z through a pivot, by
// an angle that moves from startAngle to endAngle across the filter's frame
// range, and keeps its settings in a RotationParams block.
//
// Defined in RotationFilter.cpp (construction, parameter block), RenderPass.cpp
// (ProcessFrame), and SetupDialog.cpp with AboutBox.cpp on Windows or
// DialogsUnavailable.cpp natively (the dialogs).
#pragma once

#include "filter/PluginFilter.h"
#include "filter/RotationParams.h"

class RotationFilter : public PluginFilter {
public:
    RotationFilter();
    ~RotationFilter() override = default;

    // The about box (template 101), modal to `parent`: 1 after OK or Enter,
    // 0 after Cancel, Escape or the close box, -1 when it cannot open.
    // Changes nothing.
    int OpenAboutBox(HWND parent) override;
    // The setup dialog (template 102), modal to `parent`, on a scratch copy
    // of the parameters: 1 after OK, which stores the choice; 0 after
    // Cancel, Escape or the close box, which leave the parameters alone; -1
    // when it cannot open, or while a setup dialog of the module is open.
    int ShowControl(HWND parent) override;
    // Renders the current frame into the source bitmap; 0 without a source.
    int ProcessFrame(HWND window) override;
    // Always 20, the size of RotationParams.
    std::uint32_t EvaluateConfigure() override;
    // Takes all 20 bytes when the block's first word is the tag; refuses a
    // null block or another tag with 0 and keeps the parameters.
    int LoadConfigure(void* block) override;
    // Copies the 20 bytes out; 0 for a null block.
    int SaveConfigure(void* block) override;

#if defined(_WIN32)
    // One message of the open setup dialog, passed on by its dialog
    // procedure: 1 when handled, else 0.
    INT_PTR HandleSetupMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif

private:
    RotationParams params;
};
