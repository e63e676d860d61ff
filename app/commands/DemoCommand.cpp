// `veldra demo [DIR]`: the built-in test card through a full turn about
// each axis and pivot, written as 16-bit PNG frames, with a contact sheet
// of all nine turns over time.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "commands/Commands.h"
#include "image/ContactSheet.h"
#include "Failure.h"
#include "render/AlphaKeep.h"
#include "render/FilterModule.h"
#include "cli/FramePattern.h"
#include "image/ImageFiles.h"
#include "render/Interrupt.h"
#include "render/ParallelFrames.h"
#include "cli/Progress.h"
#include "render/RenderFrame.h"
#include "image/TestCard.h"
#include "filter/RotationParams.h"

namespace {

constexpr std::uint16_t kCardWidth = 320;
constexpr std::uint16_t kCardHeight = 240;
// 0 to 360 degrees across a range of 21 frames; frames 0 to 19 make a loop
// that plays without a repeated picture. The angle moves in whole percents
// of the range, and 20 steps of 5 percent each make every step 18 degrees.
constexpr int kFramesPerTurn = 20;
constexpr int kSheetEvery = 2;  // every other frame goes on the contact sheet
constexpr float kEndAngle = 360.0f;

struct Turn {
    const char* axisName;
    std::int32_t axis;
    const char* pivotName;
    std::int32_t pivot;
};

const Turn kTurns[] = {
    {"x", AxisX, "lower", PivotLower}, {"x", AxisX, "center", PivotCenter}, {"x", AxisX, "upper", PivotUpper},
    {"y", AxisY, "lower", PivotLower}, {"y", AxisY, "center", PivotCenter}, {"y", AxisY, "upper", PivotUpper},
    {"z", AxisZ, "lower", PivotLower}, {"z", AxisZ, "center", PivotCenter}, {"z", AxisZ, "upper", PivotUpper},
};
constexpr int kTurnCount = sizeof kTurns / sizeof kTurns[0];

// The folder as an absolute path ending in '/', so that the paths printed
// open from wherever the user stands.
std::string FolderPath(const std::string& folder)
{
    const std::string path = std::filesystem::absolute(folder).lexically_normal().string();
    return path.back() == '/' ? path : path + "/";
}

void MakeFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw Failure(folder + ": cannot make the output folder: " + error.message());
}

}  // namespace

int RunDemo(const Arguments& arguments)
{
    const std::string folder = FolderPath(arguments.demoFolder);
    MakeFolder(folder);

    const auto module = LoadFilterModule(arguments.modulePath);
    const std::size_t frameCount = static_cast<std::size_t>(kTurnCount) * kFramesPerTurn;
    const int workers = WorkerCount(arguments.jobs, frameCount);
    std::vector<std::unique_ptr<ImageFilter>> filters;
    std::vector<ParamsBlock> blocks;
    for (int worker = 0; worker < workers; ++worker)
        filters.push_back(MakeFilter(*module));
    for (const Turn& turn : kTurns)
        blocks.push_back(SettleParams(*filters[0], "", SettingOverrides{turn.axis, turn.pivot, 0.0f, kEndAngle}));

    const Frame card = DrawTestCard(kCardWidth, kCardHeight);
    WriteImage(folder + "test-card.png", card, WriteSettings{});

    ContactSheet sheet(kTurnCount, kFramesPerTurn / kSheetEvery, kCardWidth / 4, kCardHeight / 4);
    for (int row = 0; row < kTurnCount; ++row)
        sheet.LabelRow(row, std::string(kTurns[row].axisName) + " " + kTurns[row].pivotName);
    for (int column = 0; column < kFramesPerTurn / kSheetEvery; ++column)
        sheet.LabelColumn(column, "frame " + std::to_string(column * kSheetEvery));

    std::vector<FramePattern> patterns;
    for (const Turn& turn : kTurns)
        patterns.push_back(*FramePattern::Parse(folder + turn.axisName + "-" + turn.pivotName + ".####.png"));

    const FrameRange turnRange(0, kFramesPerTurn + 1, 0);
    Progress progress(frameCount, !arguments.quiet);
    CatchInterrupts();
    auto renderOne = [&](int worker, std::size_t index) {
        if (Interrupted())
            throw Failure("demo interrupted; the frames written so far are complete");
        const int row = static_cast<int>(index / kFramesPerTurn);
        const int frameNumber = static_cast<int>(index % kFramesPerTurn);
        const std::string path = patterns[row].PathOf(frameNumber);

        Frame frame = Frame::Make(card.Width(), card.Height());
        std::memcpy(frame.pixels, card.pixels, card.PixelCount() * sizeof(BMM_Color_64));
        LoadParams(*filters[worker], blocks[row]);
        const FrameRange at(turnRange.First(), turnRange.Count(), frameNumber);
        if (arguments.render.alpha == AlphaMode::Keep)
            RenderFrameKeepingAlpha(*filters[worker], frame, at, at, path);
        else
            RenderFrame(*filters[worker], frame, at, at, path);
        WriteImage(path, frame, WriteSettings{});
        if (frameNumber % kSheetEvery == 0)
            sheet.Place(row, frameNumber / kSheetEvery, frame);
    };
    RunFrames(frameCount, workers, renderOne, [&] { progress.FrameDone(); });
    progress.Finish();

    const std::string sheetPath = folder + "contact-sheet.png";
    sheet.Write(sheetPath);
    std::printf("veldra: test card turned 0 to 360 degrees about x, y and z through each pivot\n");
    std::printf("veldra: %zu frames in %s (x-lower.0000.png .. z-upper.%04d.png, %g degrees a frame), %.1f s\n",
                frameCount, folder.c_str(), kFramesPerTurn - 1, kEndAngle / kFramesPerTurn, progress.Seconds());
    std::printf("veldra: test card:     %stest-card.png\n", folder.c_str());
    std::printf("veldra: contact sheet: %s\n", sheetPath.c_str());
    return 0;
}
