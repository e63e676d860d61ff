// Which frames a run renders, from which files to which, in which format,
// where each frame falls in the filter's range and with which parameter
// block: all decided once, before any frame is rendered, and the same way
// for `render`, `demo` and the farm.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "files/ParamFile.h"
#include "image/ColourConversion.h"
#include "flt/ImageFilter.h"
#include "loader/ModuleLoader.h"
#include "movie/MovieReader.h"
#include "movie/MovieWriter.h"
#include "render/RenderRequest.h"
#include "sequence/FrameList.h"
#include "sequence/FramePattern.h"

struct FramePlan {
    FrameList frames;                   // in increasing order, at least one
    std::optional<FramePattern> input;  // none: the one image or movie `inputFile`, or no input
    std::optional<FramePattern> output;
    std::string inputFile;
    std::string outputFile;
    // As OutputFormatOf (image/OutputFormat.h) decides it, or for a movie
    // output its container ("mov", "mp4", "mkv").
    std::string outputFormat;
    // The movie `inputFile` is, opened and its frames counted; its frames
    // are numbered from 0. Shared by copies of the plan.
    std::shared_ptr<MovieReader> movie;
    // The movie every frame goes into, in frame order, when OUTPUT is one.
    std::optional<MovieOutput> movieOutput;
    // The conversion every turned frame's colour goes through before it is
    // written; none: written as turned.
    std::shared_ptr<const ColourConversion> colour;
    FrameSpan range;   // the filter's active range
    ParamBlock block;  // what every filter of the run holds
    AlphaMode alpha = AlphaMode::Filter;
    std::optional<int> compression;  // PNG only
    std::optional<ChannelFormat> depth;

    std::int64_t Count() const { return frames.Count(); }
    std::string InputOf(int frame) const { return input ? input->PathOf(frame) : inputFile; }
    // The input of `frame` in words: its file, or the movie and the frame.
    std::string InputWords(int frame) const
    {
        return movie ? inputFile + " (frame " + std::to_string(frame) + ")" : InputOf(frame);
    }
    std::string OutputOf(int frame) const { return output ? output->PathOf(frame) : outputFile; }
    // The files the run writes, in order: one a frame, or the one movie.
    std::vector<std::string> OutputFiles() const;
    // The frames run and the filter's range as the filter is told them
    // when it renders `frame`.
    FrameRange QueueAt(int frame) const;
    FrameRange RangeAt(int frame) const;
};

// What a warning says when the filter's `range` holds one frame and the two
// angles of `params` differ: `frame` gets the start angle. "" otherwise.
// `placing` says how the caller's user puts that frame in a longer range.
std::string OneFrameRangeWarning(FrameSpan range, const RotationParams& params, int frame, const std::string& placing);

// True when `input` names a sequence: it is no existing file and holds a
// frame number's place (FramePattern).
bool NamesSequence(const std::string& input);

// The plan for `request`. An INPUT that exists as a file is that file,
// whatever its name holds: a movie (any file libavformat opens with a
// video stream) or a picture; otherwise a sequence pattern is a sequence.
// OUTPUT is a movie when its name ends in .mov, .mp4 or .mkv, else a
// pattern when INPUT is a sequence or a movie. The frames are --frames
// (each must exist) or those on disk, or every frame of a movie, whose
// range is by default the whole movie. Throws Failure, before anything is
// rendered, for frames that are missing or cannot be counted, a damaged
// movie, a movie of several frames into one picture, options that do not
// fit the input or output, an output of a kind veldra does not write or in
// a folder it cannot write to, and a parameter file the filter refuses.
// The block is settled with a filter of `module`. Warns of what the output
// leaves out (a movie's other streams) and of how a movie's frames were
// numbered when its rate varies.
FramePlan PlanFrames(const RenderRequest& request, const LoadedModule& module);

// The plan for pictures made in memory (the demo's test card): the frames
// `request.frames` written to `request.output`, with no input read.
FramePlan PlanMadeFrames(const RenderRequest& request, const LoadedModule& module);
