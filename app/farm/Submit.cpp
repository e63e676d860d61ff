// Submitting a run's frames as a job array with a final report job: a new
// run, or the frames of a run that failed, never ran, went missing or lost
// their record.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>
#include <sys/stat.h>
#include <unistd.h>

#include "farm/FarmActions.h"
#include "farm/Follow.h"
#include "farm/LeftoverFiles.h"
#include "farm/run/FarmLock.h"
#include "farm/run/KeptOutputs.h"
#include "farm/run/MovieRecords.h"
#include "farm/run/RunState.h"
#include "farm/slurm/Slurm.h"
#include "files/ParamFile.h"
#include "files/PathParts.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "render/FramePlan.h"
#include "render/InstalledFiles.h"
#include "render/SettingWords.h"
#include "render/module/FilterModule.h"
#include "sequence/FramePattern.h"

namespace {

// The batch script: sbatch needs a script file, and this one only runs its
// arguments, so that no path is ever read as shell text.
const char TaskScript[] =
    "#!/bin/sh\n"
    "# veldra farm: runs the program and arguments given on sbatch's command line.\n"
    "exec \"$@\"\n";

std::string CurrentFolder()
{
    std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
    if (!path)
        throw Failure("veldra farm", std::string("cannot tell the current folder: ") + std::strerror(errno));
    return path.get();
}

std::string ThisProgram()
{
    const std::string path = RunningProgram();
    if (path.empty())
        throw Failure("veldra farm", "cannot tell where veldra is running from");
    return path;
}

// `path` made absolute against `folder`: a task relies on no folder of its
// own.
std::string Against(const std::string& folder, const std::string& path)
{
    return path.empty() || path[0] == '/' ? path : folder + "/" + path;
}

bool HoldsLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// What besides the block decides an output's bytes, as one line.
std::string SettingsOf(const FramePlan& plan, const std::string& module)
{
    return "format=" + plan.outputFormat + " alpha=" + AlphaWord(plan.alpha) +
           " depth=" + (plan.depth ? DepthWord(*plan.depth) : "input") +
           " compression=" + (plan.compression ? std::to_string(*plan.compression) : "default") + " module=" + module;
}

// The options every job of a submission is given: the run's, with those a
// retry changes replaced, and the retry's own words last, so that they win.
// A hold is not carried into a retry: a retry is asked for to run.
std::vector<std::string> SbatchOptions(std::vector<std::string> options, const FarmArguments& arguments)
{
    options.erase(
        std::remove_if(options.begin(), options.end(), [](const std::string& o) { return o == "--hold" || o == "-H"; }),
        options.end());
    std::vector<std::string> set;
    if (!arguments.partition.empty())
        set.push_back("--partition=" + arguments.partition);
    if (!arguments.timeLimit.empty())
        set.push_back("--time=" + arguments.timeLimit);
    if (arguments.cpusPerTask > 0)
        set.push_back("--cpus-per-task=" + std::to_string(arguments.cpusPerTask));
    for (const std::string& word : set) {
        const std::string name = word.substr(0, word.find('=') + 1);
        options.erase(std::remove_if(options.begin(), options.end(),
                                     [&](const std::string& o) { return o.compare(0, name.size(), name) == 0; }),
                      options.end());
    }
    options.insert(options.end(), set.begin(), set.end());
    options.insert(options.end(), arguments.sbatchExtra.begin(), arguments.sbatchExtra.end());
    return options;
}

// sbatch's words: the job's own options, those of every job of the run
// (`options`, else the manifest's), then `last` (options that must win,
// the script and its command). Logs are named so that Slurm reads no
// pattern into the folder's path, and appended to, so that a task Slurm
// starts again keeps the first one's words.
std::vector<std::string> SbatchWords(const FarmManifest& manifest,
                                     const std::optional<std::vector<std::string>>& options,
                                     std::vector<std::string> own, const std::vector<std::string>& last)
{
    own.insert(own.end(), {"--chdir=" + manifest.workdir, "--export=ALL", "--open-mode=append"});
    const std::vector<std::string>& every = options.value_or(manifest.sbatchOptions);
    own.insert(own.end(), every.begin(), every.end());
    own.insert(own.end(), last.begin(), last.end());
    return own;
}

// Submits the run's final job, after `after` (an array job, "" for none),
// with `comment` (its submission's, "" for none): the report, or for a run
// that makes a movie the encoding, which ends with the report. Returns its
// job id.
std::string SubmitFinalJob(const FarmFolder& folder, const FarmManifest& manifest,
                           const std::optional<std::vector<std::string>>& options, const std::string& program,
                           const std::string& after, const std::string& comment)
{
    const bool movie = IsMovieRun(folder);
    std::vector<std::string> own = {movie ? "--job-name=veldra-farm-movie" : "--job-name=veldra-farm-report",
                                    "--output=" + SlurmOutputPath(folder.LogsPath(), "report-%j.log", "slurm.log")};
    if (!comment.empty())
        own.push_back(comment);
    if (!after.empty())
        own.insert(own.end(), {"--dependency=afterany:" + after, "--kill-on-invalid-dep=yes"});
    // The report is light work, whatever a chunk needs; encoding a movie is
    // not, and gets what a task gets.
    std::vector<std::string> last = {folder.ScriptPath(), program, "farm", movie ? "encode" : "report", folder.Path()};
    if (!movie)
        last.insert(last.begin(), "--cpus-per-task=1");
    const std::string job = SubmitBatch(SbatchWords(manifest, options, own, last));
    if (movie) {
        MovieState state;
        state.job = job;
        WriteMovieState(folder, state);
    }
    return job;
}

// Submits `submission` (its frames and options set): the array, then its
// final job, each running `program`. The submission is on disk before the
// array exists, written only where none is (a second retry of the run
// cannot take its number), so that a task never starts without knowing its
// frames and no job of the run is ever unrecorded. A failed sbatch leaves
// no trace, unless its request may have gone through: then the job is
// looked for by its comment, and while it cannot be, the submission stays,
// for status, retry and cancel to look for it. A failed final job takes
// its array down with it.
void SubmitFrames(const FarmFolder& folder, const FarmManifest& manifest, Submission& submission,
                  const std::string& program)
{
    folder.AddSubmission(submission);
    const std::string index = std::to_string(submission.index);
    const std::string comment = "--comment=" + folder.SubmissionComment(submission.index);
    const std::size_t chunks = submission.chunks.size();
    std::string array = "--array=0-" + std::to_string(chunks - 1);
    if (manifest.maxParallel > 0)
        array += "%" + std::to_string(manifest.maxParallel);
    const std::string logs = folder.LogsPath();
    try {
        submission.arrayJob = SubmitBatch(SbatchWords(
            manifest, submission.sbatchOptions,
            {"--job-name=veldra-farm", comment, array, "--output=" + SlurmOutputPath(logs, "%A_%a.log", "slurm.log")},
            {folder.ScriptPath(), program, "farm", "task", folder.Path(), index}));
    } catch (const Failure& failure) {
        std::optional<std::string> found;
        if (MaybeSubmitted(failure)) {
            try {
                found = FindJobByComment("veldra-farm", folder.SubmissionComment(submission.index));
            } catch (const Failure&) {
                // The controller does not answer squeue either.
            }
            if (!found)
                failure.ThrowNoting(
                    " (the job may exist all the same once the controller answers: the run keeps "
                    "the submission, and veldra farm status, retry and cancel " +
                    folder.Path() + " look for it)");
            std::fprintf(stderr, "veldra: sbatch did not answer in time, but Slurm has made the job: %s\n",
                         found->c_str());
            submission.arrayJob = *found;
        } else {
            folder.RemoveSubmission(submission.index);
            // Slurm's default MaxArraySize allows indices up to 1000.
            std::string hint;
            if (chunks > 1001)
                hint = "; " + std::to_string(chunks) +
                       " chunks may be more than the cluster allows: give a larger --chunk";
            failure.ThrowNoting(" (nothing was submitted" + hint + ")");
        }
    }
    folder.WriteSubmission(submission);

    try {
        submission.reportJob = SubmitFinalJob(folder, manifest, submission.sbatchOptions, program, submission.arrayJob,
                                              comment);
    } catch (const Failure& failure) {
        std::string outcome = "cancelled array job " + submission.arrayJob;
        try {
            CancelJobs({submission.arrayJob});
        } catch (const Failure& cancel) {
            outcome = "array job " + submission.arrayJob + " is still queued, and cancelling it failed too (" +
                      cancel.what() + ")";
        }
        failure.ThrowNoting(" (submitting the report job; " + outcome + ")");
    }
    folder.WriteSubmission(submission);
}

void PrintSubmitted(const FarmFolder& folder, const FarmManifest& manifest, const Submission& submission)
{
    const std::size_t chunks = submission.chunks.size();
    std::printf("veldra: submitted job %s: %zu frame%s (%s) in %zu task%s of up to %d frames, then report job %s\n",
                submission.arrayJob.c_str(), submission.frames.size(), submission.frames.size() == 1 ? "" : "s",
                FrameList::Of(submission.frames).Text().c_str(), chunks, chunks == 1 ? "" : "s", manifest.chunk,
                submission.reportJob.c_str());
    std::printf("follow it with: veldra farm status %s\n", folder.Path().c_str());
    std::fflush(stdout);
}

// The earlier runs of the output folder, as --keep-existing weighs them,
// each with its outputs where it is found; runs that are not the user's
// own are no evidence, and a damaged run proves nothing.
std::vector<EarlierRun> EarlierRuns(const std::string& outputFolder)
{
    std::vector<std::string> strangers;
    std::vector<EarlierRun> runs;
    for (const FarmFolder& folder : FarmFolder::AllRuns(outputFolder, strangers)) {
        EarlierRun run;
        run.name = folder.Name();
        try {
            std::string rendersInto;
            run.manifest = folder.ReadManifestWhereFound(rendersInto);
            run.block = ReadParamFile(folder.ParamsPath());
            run.records = folder.ReadRecords(run.manifest.frames).records;
        } catch (const Failure&) {
            continue;
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

// True when some of `frames` of the run `manifest` are written to the same
// files as frames of the run `other` (of the same output folder): patterns
// may differ and still name the same files ("#" and "####" from frame
// 1000 on).
bool SameFiles(const FarmManifest& manifest, const std::vector<int>& frames, const FarmManifest& other)
{
    const auto mine = FramePattern::Parse(manifest.output), theirs = FramePattern::Parse(other.output);
    if (!mine || !theirs)
        return false;
    for (const int frame : frames) {
        if (std::binary_search(other.frames.begin(), other.frames.end(), frame) &&
            NameOf(mine->PathOf(frame)) == NameOf(theirs->PathOf(frame)))
            return true;
    }
    return false;
}

// Refuses while another run of the output folder (not `self`) renders any
// of the files `frames` of `manifest` are written to: two runs at once
// would replace each other's frames, and neither could say its shot is
// done. One question to Slurm for all of them; when Slurm cannot be asked,
// sbatch speaks next.
void RefuseWhileAnotherRunRenders(const std::string& outputFolder, const FarmManifest& manifest,
                                  const std::vector<int>& frames, const std::string& self)
{
    std::vector<std::string> strangers;
    std::vector<std::pair<std::string, std::vector<std::string>>> runs;
    std::vector<std::string> jobs;
    std::vector<LiveJob> live;
    try {
        for (const FarmFolder& folder : FarmFolder::AllRuns(outputFolder, strangers)) {
            if (folder.Path() == self)
                continue;
            std::vector<std::string> notes;
            FarmManifest other;
            std::vector<Submission> submissions;
            try {
                other = folder.ReadManifest();
                submissions = folder.ReadSubmissions(other.chunk);
            } catch (const Failure&) {
                continue;  // a damaged run renders nothing
            }
            if (!SameFiles(manifest, frames, other))
                continue;
            FindUnansweredJobs(folder, submissions, notes);
            runs.emplace_back(folder.Path(), RunJobs(submissions));
            jobs.insert(jobs.end(), runs.back().second.begin(), runs.back().second.end());
        }
        live = QueryJobs(jobs);
    } catch (const Failure&) {
        return;
    }
    for (const auto& [path, ids] : runs) {
        std::vector<std::string> active;
        for (const LiveJob& job : live) {
            if (job.task && IsActive(job.state) && std::find(ids.begin(), ids.end(), job.job) != ids.end() &&
                std::find(active.begin(), active.end(), job.job) == active.end())
                active.push_back(job.job);
        }
        if (!active.empty())
            throw Failure(manifest.output, "run " + path + " of this shot is still active (job " + JobList(active) +
                                               "): one run at a time renders a shot's files; wait for it "
                                               "(veldra farm status " +
                                               path + ") or cancel it (veldra farm cancel " + path + ")");
    }
}

// A new run of the shot `arguments` give, submitted; nothing when every
// frame is kept. The output folder's lock is held until the run is
// recorded with its jobs.
std::optional<FarmFolder> SubmitNewRun(const FarmArguments& arguments)
{
    const RenderRequest& render = arguments.render;
    const auto module = LoadFilterModule(arguments.modulePath);
    const FramePlan plan = PlanFrames(render, *module);
    const bool movieOut = plan.movieOutput.has_value();
    if ((!plan.input && !plan.movie) || (!plan.output && !movieOut))
        throw Failure("farm",
                      "INPUT must be a sequence pattern such as shot.####.png or a movie, and OUTPUT a sequence "
                      "pattern or a movie (.mov, .mp4, .mkv)",
                      FailureKind::Usage);
    if (movieOut && arguments.keepExisting)
        throw Failure("--keep-existing", "keeps the frames of a sequence; a movie is made whole", FailureKind::Usage);
    FarmManifest manifest;
    manifest.frames = FramesOfRun(plan.frames, "--frames");
    manifest.program = ThisProgram();
    manifest.workdir = CurrentFolder();
    // Tasks rely on no folder of their own: every path they are given is
    // absolute.
    manifest.input = Against(manifest.workdir, render.input);
    manifest.output = Against(manifest.workdir, render.output);
    const std::string modulePath = Against(manifest.workdir, module->Path());
    manifest.rangeFirst = plan.range.first;
    manifest.rangeLast = plan.range.last;
    manifest.chunk = arguments.chunk;
    manifest.retries = arguments.retries.value_or(2);
    manifest.maxParallel = arguments.maxParallel;
    manifest.sbatchOptions = SbatchOptions({}, arguments);
    manifest.settings = SettingsOf(plan, modulePath);

    // Everything a task would stumble on is found here, before a job exists.
    const std::string outputFolder = FolderOfPattern(manifest.output);
    if (outputFolder.empty())
        throw Failure(FolderOf(render.output), std::string("cannot find the output folder: ") + std::strerror(errno));
    for (const std::string& path : {outputFolder, manifest.workdir, manifest.input, manifest.output, modulePath}) {
        if (HoldsLineBreak(path))
            throw Failure(path, "holds a line break, which a farm run's records cannot hold");
    }
    std::vector<int> existing;
    // A movie is one file, in or out.
    if (plan.movie || movieOut) {
        if (access(manifest.input.c_str(), R_OK) != 0)
            throw Failure(render.input, std::string("cannot open: ") + std::strerror(errno));
        if (SameFile(manifest.input, manifest.output))
            throw Failure(render.output, "a farm run cannot render in place: give an output other than the input");
    }
    for (const int frame : manifest.frames) {
        if (movieOut)
            break;
        const std::string path = plan.InputOf(frame), output = plan.OutputOf(frame);
        if (plan.movie) {
            if (access(output.c_str(), F_OK) == 0)
                existing.push_back(frame);
            continue;
        }
        if (access(path.c_str(), R_OK) != 0)
            throw Failure(path, std::string("cannot open: ") + std::strerror(errno));
        if (SameFile(path, output))
            throw Failure(render.output, "a farm run cannot render in place: give an output other than the input");
        if (access(output.c_str(), F_OK) == 0)
            existing.push_back(frame);
    }
    // From here until the run is submitted, no other submission into the
    // output folder decides anything.
    FarmLock lock(FarmFolder::FarmsFolder(outputFolder), "submitting " + manifest.output);
    RefuseWhileAnotherRunRenders(outputFolder, manifest, manifest.frames, "");
    std::vector<FrameRecord> kept;
    if (arguments.keepExisting && !existing.empty()) {
        const auto output = FramePattern::Parse(manifest.output);
        const auto input = FramePattern::Parse(manifest.input);
        KeptOutputs found = FindKeptOutputs(
            manifest, plan.block, EarlierRuns(outputFolder),
            [&](int frame) { return IdentityOf(output->PathOf(frame)); },
            [&](int frame) { return IdentityOf(input->PathOf(frame)); });
        if (!found.unproven.empty())
            throw Failure(render.output, "--keep-existing: " + std::to_string(found.unproven.size()) + " output" +
                                             (found.unproven.size() == 1 ? "" : "s") + " (" +
                                             FrameList::Of(found.unproven).Text() + ") cannot be kept: " + found.why +
                                             "; leave out --keep-existing to render every frame again");
        kept = std::move(found.kept);
        std::printf("veldra: keeping %zu output%s an earlier run of this shot wrote\n", kept.size(),
                    kept.size() == 1 ? "" : "s");
        if (!found.inputChanged.empty())
            std::printf("veldra: rendering %zu output%s again (%s): %s input changed since\n",
                        found.inputChanged.size(), found.inputChanged.size() == 1 ? "" : "s",
                        FrameList::Of(found.inputChanged).Text().c_str(),
                        found.inputChanged.size() == 1 ? "its" : "their");
    } else if (!existing.empty()) {
        std::printf(
            "veldra: %zu of the %zu outputs exist already and will be rendered again "
            "(--keep-existing keeps those an earlier run of this shot wrote)\n",
            existing.size(), manifest.frames.size());
    }
    std::unordered_set<int> keptFrames;
    for (const FrameRecord& record : kept)
        keptFrames.insert(record.frame);
    std::vector<int> toRender;
    for (const int frame : manifest.frames) {
        if (keptFrames.count(frame) == 0)
            toRender.push_back(frame);
    }
    if (toRender.empty()) {
        std::printf("veldra: every frame of the shot is kept; nothing to submit\n");
        return std::nullopt;
    }
    if (!arguments.saveParamsFile.empty())
        WriteParamFile(arguments.saveParamsFile, plan.block);

    const FarmFolder folder = FarmFolder::Create(outputFolder);
    lock.Say("setting up run " + folder.Path());
    Submission submission = MakeSubmission(0, toRender, manifest.chunk);
    try {
        // A movie's frames are written by the tasks into the run folder, in
        // 16 bits whatever the input, for its final job to encode.
        if (movieOut) {
            MovieOutput movie = *plan.movieOutput;
            movie.path = manifest.output;
            if (!movie.copyFrom.empty())
                movie.copyFrom = Against(manifest.workdir, movie.copyFrom);
            WriteMovieStep(folder, movie);
            manifest.output = MovieFramesPattern(folder);
        }
        manifest.renderWords = {manifest.input, manifest.output};
        manifest.renderWords.insert(manifest.renderWords.end(), arguments.taskOptions.begin(),
                                    arguments.taskOptions.end());
        manifest.renderWords.insert(manifest.renderWords.end(), {"--module", modulePath});
        if (movieOut)
            manifest.renderWords.insert(manifest.renderWords.end(), {"--depth", DepthWord(ChannelFormat::UInt16)});
        WriteParamFile(folder.ParamsPath(), plan.block, WriteAs::PrivateRecord);
        ReplaceFileContents(folder.ScriptPath(), TaskScript, sizeof TaskScript - 1, WriteAs::PrivateRecord);
        folder.WriteManifest(manifest);
        for (const FrameRecord& record : kept)
            folder.WriteRecord(record);
        SubmitFrames(folder, manifest, submission, manifest.program);
    } catch (...) {
        // A run that never reached Slurm is no run: the latest run stays
        // the one before.
        folder.Discard();
        throw;
    }
    PrintSubmitted(folder, manifest, submission);
    return folder;
}

// Submits again the frames of `folder`'s run that failed, never ran, went
// missing or lost their record; returns whether it submitted any. The
// output folder's lock is held while it decides and submits, so that two
// retries of one run at once submit its frames once.
bool RetryRun(const FarmFolder& folder, const FarmArguments& arguments)
{
    const FarmLock lock(FolderOf(folder.Path()), "retrying run " + folder.Path());
    const RunView run = LookAtRun(folder);
    if (!run.rendersInto.empty())
        throw Failure(folder.Path(), "this run renders into " + run.rendersInto + ", and it is found in " +
                                         folder.OutputFolder() +
                                         " (the output folder was copied or moved): retry it where it renders, or "
                                         "submit the shot again here");
    const std::vector<int> frames = run.state.ToRender();
    // Every frame done but the movie not made (its encoding failed, or it
    // is gone since): the final job alone makes it again.
    if (frames.empty() && IsMovieRun(folder) && !MovieInPlace(folder) && run.state.Finished()) {
        const Submission* last = run.submissions.empty() ? nullptr : &run.submissions.back();
        const std::string job = SubmitFinalJob(folder, run.manifest, last ? last->sbatchOptions : std::nullopt,
                                               ThisProgram(), "", "");
        std::printf("veldra: every frame is done; submitted job %s to make the movie\n", job.c_str());
        std::fflush(stdout);
        return true;
    }
    if (frames.empty()) {
        std::printf("veldra: nothing to retry in %s: %zu frame%s done, %zu running or pending\n", folder.Path().c_str(),
                    run.state.done.size(), run.state.done.size() == 1 ? "" : "s",
                    run.state.running.size() + run.state.suspended.size() + run.state.pending.size());
        return false;
    }
    RefuseWhileAnotherRunRenders(folder.OutputFolder(), run.manifest, frames, folder.Path());
    // The tasks run the veldra being run now: never a program a file of
    // the run names.
    const std::string program = ThisProgram();
    if (!SameFile(run.manifest.program, program))
        std::printf("veldra: the run was submitted with %s; its new tasks run %s\n", run.manifest.program.c_str(),
                    program.c_str());
    // Temporary files that tasks killed outright left beside the outputs.
    std::vector<std::string> endedTasks;
    for (const Submission& submission : run.submissions) {
        if (std::find(run.state.activeJobs.begin(), run.state.activeJobs.end(), submission.arrayJob) !=
            run.state.activeJobs.end())
            continue;
        for (std::size_t task = 0; task < submission.chunks.size(); ++task)
            endedTasks.push_back(TemporaryTagOf(submission.arrayJob, std::to_string(task)));
    }
    // Tasks Slurm started again tag theirs with the start.
    for (const TaskRecord& record : run.tasks) {
        if (record.restart > 0 && std::find(run.state.activeJobs.begin(), run.state.activeJobs.end(), record.job) ==
                                      run.state.activeJobs.end())
            endedTasks.push_back(TemporaryTagOf(record.job, record.task, record.restart));
    }
    if (IsMovieRun(folder))
        MakeMovieFramesFolder(folder);
    RemoveLeftovers(FolderOfPattern(run.manifest.output), endedTasks);

    const Submission* last = run.submissions.empty() ? nullptr : &run.submissions.back();
    Submission submission = MakeSubmission(last ? last->index + 1 : 0, frames, run.manifest.chunk);
    submission.retries = arguments.retries.value_or(last && last->retries ? *last->retries : run.manifest.retries);
    submission.sbatchOptions = SbatchOptions(
        last && last->sbatchOptions ? *last->sbatchOptions : run.manifest.sbatchOptions, arguments);
    SubmitFrames(folder, run.manifest, submission, program);
    PrintSubmitted(folder, run.manifest, submission);
    return true;
}

}  // namespace

int RunFarmSubmit(const FarmArguments& arguments)
{
    const std::optional<FarmFolder> folder = SubmitNewRun(arguments);
    return folder && arguments.wait ? WaitForRun(*folder) : 0;
}

int RunFarmRetry(const FarmArguments& arguments)
{
    // An output folder stands for the latest run of each of its shots.
    std::vector<std::string> notes;
    const std::vector<FarmFolder> runs = FarmFolder::LatestOfEachShot(arguments.dir, notes);
    for (const std::string& note : notes)
        std::printf("veldra: note: %s\n", note.c_str());
    for (const FarmFolder& folder : runs)
        RetryRun(folder, arguments);
    int exitCode = 0;
    for (std::size_t i = 0; arguments.wait && i < runs.size(); ++i)
        exitCode = std::max(exitCode, WaitForRun(runs[i]));
    return exitCode;
}
