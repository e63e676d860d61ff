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
#include "commands/Progress.h"
#include "filter/ParamWords.h"
#include "image/ImageFiles.h"
#include "image/ImageLibrary.h"
#include "messages/Failure.h"
#include "process/Interrupt.h"
#include "render/AlphaKeep.h"
#include "render/FramePlan.h"
#include "render/ParallelFrames.h"
#include "render/module/FilterModule.h"

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
        throw FileError::OfSystemError(folder.string(), "cannot make the output folder", error.value());
}

}  // namespace

int RunDemo(const Arguments& arguments)
{
    const std::filesystem::path folder = FolderPath(arguments.demoFolder);
    MakeFolder(folder);

    const std::vector<Turn> turns = AllTurns();
    const int turnCount = static_cast<int>(turns.size());
    const auto module = LoadFilterModule(arguments.modulePath);
    // Each turn is a run of its own: its frames, files and block.
    std::vector<FramePlan> plans;
    for (const Turn& turn : turns) {
        RenderRequest request;
        request.output = (folder / (turn.FileStem() + ".####.png")).string();
        request.frames = FrameList::Covering(FrameSpan{0, kFramesPerTurn - 1});
        request.range = FrameSpan{0, kFramesPerTurn};
        request.settings = SettingOverrides{turn.axis.code, turn.pivot.code, 0.0f, kEndAngle};
        request.alpha = arguments.render.alpha;
        plans.push_back(PlanMadeFrames(request, *module));
    }
    const std::size_t frameCount = static_cast<std::size_t>(turnCount) * kFramesPerTurn;
    const auto filters = MakeFilters(*module, WorkerCount(arguments.jobs, frameCount), plans[0].block);

    const ImageLibrary& library = TheImageLibrary();
    const Frame card = library.TestCard(kCardWidth, kCardHeight);
    WriteImage((folder / "test-card.png").string(), "png", card, WriteSettings{});

    const std::unique_ptr<ContactSheet> sheet = library.Sheet(turnCount, kFramesPerTurn / kSheetEvery, kCardWidth / 4,
                                                              kCardHeight / 4);
    for (int row = 0; row < turnCount; ++row)
        sheet->LabelRow(row, std::string(turns[row].axis.word) + " " + turns[row].pivot.word);
    for (int column = 0; column < kFramesPerTurn / kSheetEvery; ++column)
        sheet->LabelColumn(column, "frame " + std::to_string(column * kSheetEvery));

    Progress progress(frameCount, !arguments.quiet);
    auto renderOne = [&](int worker, std::size_t index) {
        if (Interrupted())
            throw Failure("demo interrupted; the frames written so far are complete", FailureKind::Interrupted);
        const FramePlan& plan = plans[index / kFramesPerTurn];
        const int frameNumber = static_cast<int>(index % kFramesPerTurn);
        const std::string path = plan.OutputOf(frameNumber);

        Frame frame = Frame::Make(card.Width(), card.Height());
        std::memcpy(frame.pixels, card.pixels, card.PixelCount() * sizeof(BMM_Color_64));
        LoadParams(*filters[worker], plan.block);
        RenderFrameWithAlpha(*filters[worker], frame, plan.alpha, ColourAlpha::Straight, plan.QueueAt(frameNumber),
                             plan.RangeAt(frameNumber), path);
        WriteImage(path, plan.outputFormat, frame, WriteSettings{});
        if (frameNumber % kSheetEvery == 0)
            sheet->Place(static_cast<int>(index / kFramesPerTurn), frameNumber / kSheetEvery, frame);
    };
    RunFrames(frameCount, static_cast<int>(filters.size()), renderOne, [&] { progress.FrameDone(); });
    progress.Finish();
    if (Interrupted())
        throw Failure("demo interrupted; the frames written so far are complete", FailureKind::Interrupted);

    const std::string sheetPath = (folder / "contact-sheet.png").string();
    sheet->Write(sheetPath);
    std::printf("veldra: test card turned 0 to 360 degrees about x, y and z through each pivot\n");
    std::printf("veldra: %zu frames in %s (%s.0000.png .. %s.%04d.png, %g degrees a frame), %.1f s\n", frameCount,
                folder.c_str(), turns.front().FileStem().c_str(), turns.back().FileStem().c_str(), kFramesPerTurn - 1,
                kEndAngle / kFramesPerTurn, progress.Seconds());
    std::printf("veldra: test card:     %s\n", (folder / "test-card.png").c_str());
    std::printf("veldra: contact sheet: %s\n", sheetPath.c_str());
    return 0;
}
