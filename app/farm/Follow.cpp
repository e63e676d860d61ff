// Following a run: its state now, and the wait for its end.
#include "farm/Follow.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <map>
#include <optional>
#include <sys/statvfs.h>
#include <thread>

#include "farm/FarmActions.h"
#include "farm/WaitPatience.h"
#include "farm/run/MovieRecords.h"
#include "farm/run/RunFiles.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "sequence/FramePattern.h"
#include "sequence/ParseInteger.h"

namespace {

std::optional<FramePattern> OutputPattern(const FarmFolder& folder, const FarmManifest& manifest)
{
    auto output = FramePattern::Parse(manifest.output);
    if (!output)
        throw Failure(folder.ManifestPath(), "the output '" + manifest.output + "' is no sequence pattern");
    return output;
}

// What Slurm knows of the run's jobs; with `trouble`, nothing when it
// cannot be asked, and why in `trouble`.
std::vector<LiveJob> AskSlurm(const std::vector<Submission>& submissions, std::string* trouble)
{
    try {
        return QueryJobs(RunJobs(submissions));
    } catch (const Failure& failure) {
        if (!trouble)
            throw;
        *trouble = failure.what();
        return {};
    }
}

// A warning when the farm folder's file system has no room left for a
// record: tasks then cannot say what they did, nor write their logs.
std::optional<std::string> FullDiskWarning(const FarmFolder& folder)
{
    struct statvfs space {};
    if (statvfs(folder.Path().c_str(), &space) != 0)
        return std::nullopt;
    const unsigned long long free = static_cast<unsigned long long>(space.f_bavail) * space.f_frsize;
    if (free >= kMostRecordBytes)
        return std::nullopt;
    return "warning: the farm folder's disk is full (" + std::to_string(free) + " bytes free where " + folder.Path() +
           " is): tasks cannot record their frames or write their logs; make room, then veldra farm retry";
}

}  // namespace

void FindUnansweredJobs(const FarmFolder& folder, std::vector<Submission>& submissions, std::vector<std::string>& notes)
{
    for (Submission& submission : submissions) {
        if (!submission.arrayJob.empty())
            continue;
        const std::string index = std::to_string(submission.index);
        if (const auto job = FindJobByComment("veldra-farm", folder.SubmissionComment(submission.index))) {
            submission.arrayJob = *job;
            notes.push_back("submission " + index + ": sbatch did not say its job; Slurm knows it as job " + *job);
            // Recorded, the job stays the run's once Slurm forgets it.
            try {
                folder.WriteSubmission(submission);
            } catch (const Failure& failure) {
                notes.push_back("cannot record it: " + std::string(failure.what()));
            }
        } else {
            notes.push_back("submission " + index +
                            " has no job: it is being submitted now, or sbatch did not answer and Slurm knows no "
                            "job of it (yet)");
        }
    }
}

RunView LookAtRun(const FarmFolder& folder, bool evenWithoutSlurm)
{
    RunView run;
    run.manifest = folder.ReadManifestWhereFound(run.rendersInto);
    std::vector<std::string> notes;
    run.submissions = folder.ReadSubmissions(run.manifest.chunk, &notes);
    try {
        FindUnansweredJobs(folder, run.submissions, notes);
        run.live = QueryJobs(RunJobs(run.submissions));
    } catch (const Failure& failure) {
        if (!evenWithoutSlurm)
            throw;
        run.slurmTrouble = failure.what();
    }
    const auto output = OutputPattern(folder, run.manifest);
    run.records = folder.ReadRecords(run.manifest.frames);
    run.tasks = folder.ReadTaskRecords(&notes);
    // Once the run's movie is made, its frames live on in it: they are done
    // while it is in place, though the frames the tasks wrote are gone.
    const bool inMovie = IsMovieRun(folder) && MovieInPlace(folder);
    std::map<int, FileIdentity> recorded;
    if (inMovie)
        for (const FrameRecord& record : run.records.records)
            if (record.ok && record.output)
                recorded[record.frame] = *record.output;
    run.state = ComputeRunState(run.manifest, run.submissions, run.records, run.tasks, run.live,
                                [&](int frame) -> std::optional<FileIdentity> {
                                    if (!inMovie)
                                        return IdentityOf(output->PathOf(frame));
                                    const auto found = recorded.find(frame);
                                    return found == recorded.end() ? std::nullopt : std::optional(found->second);
                                });
    std::vector<std::string>& remarks = run.state.remarks;
    if (!run.rendersInto.empty())
        remarks.insert(remarks.begin(), "note: this run renders into " + run.rendersInto + "; it is found in " +
                                            folder.OutputFolder() +
                                            " (the folder was copied or moved), and its outputs are looked for here");
    for (const std::string& note : notes)
        remarks.push_back("note: " + note);
    if (const auto full = FullDiskWarning(folder))
        remarks.push_back(*full);
    return run;
}

std::string DescribeRun(const FarmFolder& folder, const RunView& run, bool verbose)
{
    return FormatRunState(run.state, run.manifest, run.submissions, folder.Path(), verbose, run.records.records) +
           DescribeMovieStep(folder);
}

std::string StatusText(const FarmFolder& folder, const RunView& run, const FarmArguments& arguments)
{
    std::string text = arguments.node.empty()
                           ? DescribeRun(folder, run, arguments.verbose)
                           : "run " + folder.Path() + "\n" + FormatNodeWork(run.state, arguments.node);
    if (!run.slurmTrouble.empty())
        text += "warning: " + run.slurmTrouble +
                "; from the records alone, frames still running or pending show as never run\n";
    return text;
}

int RunFarmStatus(const FarmArguments& arguments)
{
    std::vector<std::string> notes;
    const std::vector<FarmFolder> runs = FarmFolder::LatestOfEachShot(arguments.dir, notes);
    for (const std::string& note : notes)
        std::printf("veldra: note: %s\n", note.c_str());
    int exitCode = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const RunView run = LookAtRun(runs[i], true);
        std::printf("%s%s", i ? "\n" : "", StatusText(runs[i], run, arguments).c_str());
        exitCode = run.slurmTrouble.empty() ? exitCode : 1;
    }
    return exitCode;
}

struct RunWatch::Cached {
    std::optional<FileIdentity> seen;      // the record's file as it stood when read
    std::optional<FileIdentity> output;    // of a done frame, as it stood when its record was read
    std::optional<FileIdentity> recorded;  // of a done frame, as its record has it
};

RunWatch::RunWatch(const FarmFolder& folder)
    : folder_(folder), cached_(std::make_shared<std::map<int, Cached>>()), movieRun_(IsMovieRun(folder))
{
    run_.manifest = folder_.ReadManifestWhereFound(run_.rendersInto);
    OutputPattern(folder_, run_.manifest);
    for (const FrameRecord& record : folder_.ReadRecords(run_.manifest.frames).records)
        ReadRecord(record.frame);
}

void RunWatch::ReadRecord(int frame)
{
    const std::string path = folder_.RecordPath(frame);
    // A record is renamed into place whole: another file when rewritten.
    const std::optional<FileIdentity> seen = IdentityOf(path);
    Cached& cached = (*cached_)[frame];
    if (cached.seen == seen && recordAt_.count(frame))
        return;
    const std::optional<FrameRecord> record = seen ? folder_.ReadRecord(frame) : std::nullopt;
    if (!record)
        return;
    cached.seen = seen;
    cached.output = record->ok ? IdentityOf(OutputPattern(folder_, run_.manifest)->PathOf(frame)) : std::nullopt;
    cached.recorded = record->ok ? record->output : std::nullopt;
    const auto at = recordAt_.find(frame);
    if (at == recordAt_.end()) {
        recordAt_[frame] = run_.records.records.size();
        run_.records.records.push_back(*record);
    } else {
        run_.records.records[at->second] = *record;
    }
}

const RunView& RunWatch::Look()
{
    // A retry made meanwhile brings a submission: its jobs are asked after
    // too.
    const std::optional<FileIdentity> submissions = IdentityOf(folder_.Path() + "/submissions");
    if (!submissionsSeen_ || *submissionsSeen_ != submissions) {
        submissionsSeen_ = submissions;
        run_.submissions = folder_.ReadSubmissions(run_.manifest.chunk);
        jobs_ = RunJobs(run_.submissions);
    }
    run_.slurmTrouble.clear();
    run_.live = AskSlurm(run_.submissions, &run_.slurmTrouble);
    const std::vector<LiveJob>& live = run_.live;
    if (run_.slurmTrouble.empty()) {
        // Records change only while their task runs: those of tasks Slurm
        // runs now, or ran or held at the last look and holds no longer,
        // are looked at again; a task still pending has written nothing.
        std::vector<std::pair<std::string, int>> active, pending;
        for (const LiveJob& job : live) {
            if (job.task && IsActive(job.state))
                (IsRunning(job.state) ? active : pending).emplace_back(job.job, *job.task);
        }
        std::sort(pending.begin(), pending.end());
        std::vector<std::pair<std::string, int>> look = active;
        for (const auto& task : lastActive_) {
            if (!std::binary_search(pending.begin(), pending.end(), task))
                look.push_back(task);
        }
        std::sort(look.begin(), look.end());
        look.erase(std::unique(look.begin(), look.end()), look.end());
        active.insert(active.end(), pending.begin(), pending.end());
        for (const Submission& submission : run_.submissions) {
            for (std::size_t chunk = 0; chunk < submission.chunks.size(); ++chunk) {
                if (!std::binary_search(look.begin(), look.end(),
                                        std::make_pair(submission.arrayJob, static_cast<int>(chunk))))
                    continue;
                for (const int frame : submission.chunks[chunk])
                    ReadRecord(frame);
            }
        }
        lastActive_ = std::move(active);
    }
    // A movie run's frames are done from their records once the movie is
    // in place, as in a whole look.
    const bool inMovie = movieRun_ && MovieInPlace(folder_);
    const auto cached = cached_;
    run_.state = ComputeRunState(run_.manifest, run_.submissions, run_.records, {}, live, [cached, inMovie](int frame) {
        const auto found = cached->find(frame);
        if (found == cached->end())
            return std::optional<FileIdentity>();
        return inMovie ? found->second.recorded : found->second.output;
    });
    return run_;
}

namespace {

// Whether Slurm still runs or holds the job that makes a run's movie (a
// retry's, which no submission lists); a controller that does not answer
// is waited for.
bool MovieJobActive(const std::string& job)
{
    if (job.empty())
        return false;
    try {
        for (const LiveJob& live : QueryJobs({job}))
            if (IsActive(live.state))
                return true;
        return false;
    } catch (const Failure&) {
        return true;
    }
}

}  // namespace

int WaitForRun(const FarmFolder& folder)
{
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    WaitPatience patience(0);
    RunWatch watch(folder);
    std::size_t shownDone = static_cast<std::size_t>(-1);
    for (;;) {
        const double now = elapsed();
        const RunView& run = watch.Look();
        const std::string& trouble = run.slurmTrouble;
        const WaitPatience::Step step = trouble.empty() ? patience.Answer(now, run.state)
                                                        : patience.NoAnswer(now, trouble);
        for (const std::string& note : step.notes)
            std::fprintf(stderr, "veldra: %s\n", note.c_str());
        // A movie run ends with its final job, which makes the movie once
        // the frames are done, then the report, and then removes the
        // frames.
        const bool movieRun = IsMovieRun(folder);
        const std::optional<MovieState> movie = movieRun ? ReadMovieState(folder) : std::nullopt;
        const bool movieSettled = movie && (movie->state == MovieState::State::Written ||
                                            movie->state == MovieState::State::Failed);
        const bool movieAwaited = movieRun && step.exitCode == 0 &&
                                  ((!movieSettled && !run.state.Finished()) || (movie && MovieJobActive(movie->job)));
        if (step.end && !movieAwaited) {
            // The state that stays, from a whole look.
            const RunView last = LookAtRun(folder, true);
            std::fputs(DescribeRun(folder, last).c_str(), stdout);
            std::fflush(stdout);
            if (!step.failure.empty())
                throw Failure(step.failure + "; the run goes on: veldra farm status " + folder.Path());
            return last.state.AllDone() && (!movieRun || MovieInPlace(folder)) ? 0 : 1;
        }
        if (trouble.empty() && run.state.done.size() != shownDone) {
            shownDone = run.state.done.size();
            std::printf("waiting: %zu of %zu frames done, %zu running\n", shownDone, run.manifest.frames.size(),
                        run.state.running.size());
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(PollInterval(now)));
    }
}
