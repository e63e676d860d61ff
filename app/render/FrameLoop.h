// The frames of a plan through the filter: each input read, turned and
// written whole to its output, or into the run's movie, several frames at
// once.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "image/ImageFiles.h"
#include "loader/ModuleLoader.h"
#include "messages/Warnings.h"
#include "render/FramePlan.h"

// How the command line asks to keep alpha; other callers (the Python
// package) name their own way.
constexpr const char* kKeepAlphaOption = "--alpha keep";

// How a caller steers a run beyond its plan.
struct RunControl {
    // When it becomes true, no new frame starts (a caller's own interrupt).
    const std::atomic<bool>* stop = nullptr;
    // How the caller's user asks to keep alpha, for the warning that an
    // input's transparency is lost.
    std::string keepAlpha = kKeepAlphaOption;
};

// Renders every frame of `plan` with filters of `module` holding the plan's
// block, `jobs` frames at once (0: one per core); a movie input is decoded
// in frame order, and a movie output encoded in frame order with at most
// twice `jobs` frames in flight (render/MovieSink.h). After a frame fails
// no new frame starts, and the failure of the lowest failing frame is
// thrown, saying how many frames were written (a movie is then not
// written at all); an interrupt (process/Interrupt.h), or the control's
// stop, starts no new frame either and ends in a failure. Every file
// written is complete. `frameDone` is called after each frame written (or
// handed to the movie), one call at a time. A warning that frames repeat
// (transparency lost, channels dropped, values clamped) is said once in a
// run. Returns the frames written.
std::size_t RenderPlan(const FramePlan& plan, const LoadedModule& module, int jobs,
                       const std::function<void()>& frameDone, const RunControl& control = {});

// The warnings frames may repeat (transparency lost, channels dropped,
// values clamped), each said once in a run.
struct RunWarnings {
    OnceWarning alphaLost, alphaDropped, clamped, channelsDropped, convertedClamped;
    // How the user asks to keep alpha, for the warning that transparency
    // is lost.
    std::string keepAlpha = kKeepAlphaOption;
};

// Has `filter` (holding the plan's block) turn `image`, frame `frame` of
// `plan`, in place, as the plan's alpha rule says, then converts its colour
// as the plan says; warns of what the picture loses. Throws Failure naming
// the input.
void TurnPlanFrame(const FramePlan& plan, ImageFilter& filter, int frame, LoadedImage& image, RunWarnings& warnings);

// The picture of frame `frame` of `plan`: its own file, or the frame of
// the plan's movie (decoded one frame at a time, fastest in frame order).
// Throws Failure naming the file (and frame).
LoadedImage ReadPlanFrame(const FramePlan& plan, int frame);

// The files of a frame rendered: its input as it was before it was read,
// its output as it was written.
struct RenderedFrame {
    FileIdentity input, output;
};

// One frame of `plan` to a picture output: reads it (unless `read` holds
// its picture already), has `filter` turn it and writes it whole. Throws
// Failure naming the file. For callers that handle each frame's failure
// themselves (the farm's chunks).
RenderedFrame RenderPlanFrame(const FramePlan& plan, ImageFilter& filter, int frame, RunWarnings& warnings,
                              std::optional<LoadedImage> read = std::nullopt);
