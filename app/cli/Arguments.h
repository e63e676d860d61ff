// The command line of `veldra`: which command, and its options, checked and
// converted. Every malformed or empty value, unknown option or command and
// wrong number of operands throws Failure naming it: a usage error.
#pragma once

#include <string>
#include <vector>

#include "farm/FarmArguments.h"
#include "render/RenderRequest.h"

struct Arguments {
    enum class Command { Help, Version, Render, Info, Params, Demo, Farm };
    Command command = Command::Help;
    // With Command::Help: the topic asked for, "" for the whole program, a
    // command ("render") or a farm action ("farm submit").
    std::string helpTopic;
    bool usageError = false;  // help given for a command line without a command

    RenderRequest render;        // render; demo (its alpha)
    std::string saveParamsFile;  // render --save-params; "": not stored
    bool dryRun = false;         // render --dry-run
    std::string blockFile;       // params FILE
    std::string demoFolder;      // demo [DIR]
    FarmArguments farm;          // farm ACTION ...

    std::string modulePath;  // "": the module installed with veldra
    int jobs = 0;            // 0: one per core
    bool quiet = false;
};

// Parses argv[1..]; throws Failure for anything `veldra` cannot take.
Arguments ParseArguments(const std::vector<std::string>& words);
