// `veldra demo [DIR]`: the built-in test card through a full turn about
// each axis and pivot, written as 16-bit PNG frames, with a contact sheet
// of all nine turns over time.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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
#include "filter/ParamWords.h"
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
    AxisWord axis;
    PivotWord pivot;

    // Names the turn's frame files: x-lower, ..., z-upper.
    std::string FileStem() const { return std::string(axis.word) + "-" + pivot.word; }
};

// Every axis with every pivot, X lower first, Z upper last.
std::vector<Turn> AllTurns()
{
    std::vector<Turn> turns;
    for (const AxisWord& axis : kAxisWords)
        for (const PivotWord& pivot : kPivotWords)
            turns.push_back({axis, pivot});
    return turns;
}

// The folder as an absolute path ending in a separator, so that the paths
// printed open from wherever the user stands.
std::filesystem::path FolderPath(const std::string& folder)
{
    return std::filesystem::absolute(folder).lexically_normal() / "";
}

void MakeFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw Failure(folder.string() + ": cannot make the output folder: " + error.message());
}

}  // namespace

int RunDemo(const Arguments& arguments)
{
    const std::filesystem::path folder = FolderPath(arguments.demoFolder);
    MakeFolder(folder);

    const std::vector<Turn> turns = AllTurns();
    const int turnCount = static_cast<int>(turns.size());
    const auto module = LoadFilterModule(arguments.modulePath);
    const std::size_t frameCount = static_cast<std::size_t>(turnCount) * kFramesPerTurn;
    const int workers = WorkerCount(arguments.jobs, frameCount);
    std::vector<std::unique_ptr<ImageFilter>> filters;
    std::vector<ParamBlock> blocks;
    for (int worker = 0; worker < workers; ++worker)
        filters.push_back(MakeFilter(*module));
    for (const Turn& turn : turns)
        blocks.push_back(
            SettleParams(*filters[0], "", SettingOverrides{turn.axis.code, turn.pivot.code, 0.0f, kEndAngle}));

    const Frame card = DrawTestCard(kCardWidth, kCardHeight);
    WriteImage((folder / "test-card.png").string(), card, WriteSettings{});

    ContactSheet sheet(turnCount, kFramesPerTurn / kSheetEvery, kCardWidth / 4, kCardHeight / 4);
    for (int row = 0; row < turnCount; ++row)
        sheet.LabelRow(row, std::string(turns[row].axis.word) + " " + turns[row].pivot.word);
    for (int column = 0; column < kFramesPerTurn / kSheetEvery; ++column)
        sheet.LabelColumn(column, "frame " + std::to_string(column * kSheetEvery));

    std::vector<FramePattern> patterns;
    for (const Turn& turn : turns)
        patterns.push_back(*FramePattern::Parse((folder / (turn.FileStem() + ".####.png")).string()));

    const FrameRange turnRange(0, kFramesPerTurn + 1, 0);
    Progress progress(frameCount, !arguments.quiet);
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
            RenderFrameKeepingAlpha(*filters[worker], frame, ColourAlpha::Straight, at, at, path);
        else
            RenderFrame(*filters[worker], frame, at, at, path);
        WriteImage(path, frame, WriteSettings{});
        if (frameNumber % kSheetEvery == 0)
            sheet.Place(row, frameNumber / kSheetEvery, frame);
    };
    RunFrames(frameCount, workers, renderOne, [&] { progress.FrameDone(); });
    progress.Finish();
    if (Interrupted())
        throw Failure("demo interrupted; the frames written so far are complete");

    const std::string sheetPath = (folder / "contact-sheet.png").string();
    sheet.Write(sheetPath);
    std::printf("veldra: test card turned 0 to 360 degrees about x, y and z through each pivot\n");
    std::printf("veldra: %zu frames in %s (%s.0000.png .. %s.%04d.png, %g degrees a frame), %.1f s\n", frameCount,
                folder.c_str(), turns.front().FileStem().c_str(), turns.back().FileStem().c_str(), kFramesPerTurn - 1,
                kEndAngle / kFramesPerTurn, progress.Seconds());
    std::printf("veldra: test card:     %s\n", (folder / "test-card.png").c_str());
    std::printf("veldra: contact sheet: %s\n", sheetPath.c_str());
    return 0;
}
