#include "farm/report/ReportPage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

#include "farm/run/RunNames.h"
#include "files/PathParts.h"
#include "sequence/FrameList.h"
#include "sequence/ParseInteger.h"

namespace {

// Past this many rows a table groups or stops, saying how to see the rest.
constexpr std::size_t kMostRows = 300;
// Bins of the render-time chart, and columns of the frame strip.
constexpr std::size_t kChartBins = 400;
constexpr int kStripColumns = 1000;

// The states a frame can be in, in the order the page shows them; the
// later, the more a stretch of the strip that holds one needs seeing.
enum FrameState { Done, Pending, Suspended, Running, Missing, NeverRan, Damaged, Failed, kStates };
const char* const kStateNames[kStates] = {"done",    "pending",   "suspended",      "running",
                                          "missing", "never ran", "record damaged", "failed"};
const char* const kStateKeys[kStates] = {"done",    "pending",   "suspended",      "running",
                                         "missing", "never-ran", "record-damaged", "failed"};
const char* const kStateColours[kStates] = {"#3a9a4a", "#b9c2cc", "#7f8c8d", "#3b7dd8",
                                            "#8e44ad", "#e6a23c", "#a93226", "#d64541"};

std::string Escape(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string Base64(const std::string& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = std::min<std::size_t>(3, bytes.size() - at);
        unsigned value = 0;
        for (std::size_t i = 0; i < 3; ++i)
            value = value << 8 | (i < left ? static_cast<unsigned char>(bytes[at + i]) : 0);
        for (std::size_t i = 0; i < 4; ++i)
            text += i <= left ? digits[(value >> (18 - 6 * i)) & 63] : '=';
    }
    return text;
}

std::string Number(double value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Duration(double seconds)
{
    if (seconds < 60)
        return Number(seconds, seconds < 10 ? "%.2f s" : "%.1f s");
    const long long whole = std::llround(seconds);
    if (whole < 3600)
        return std::to_string(whole / 60) + " min " + Number(static_cast<double>(whole % 60), "%02.0f") + " s";
    return std::to_string(whole / 3600) + " h " + Number(static_cast<double>(whole % 3600 / 60), "%02.0f") + " min";
}

// An href for a file of the run: relative to the page when it lies in the
// run folder, so that the page works wherever the folder is mounted.
std::string HrefOf(const std::string& path, const std::string& runPath)
{
    const std::string inside = runPath + "/";
    const std::string target = path.compare(0, inside.size(), inside) == 0 ? path.substr(inside.size()) : path;
    std::string href = target[0] == '/' ? "file://" : "";
    for (const unsigned char c : target) {
        if (std::isalnum(c) || std::string("/-_.~").find(static_cast<char>(c)) != std::string::npos)
            href += static_cast<char>(c);
        else
            href += Number(c, "%%%02X");
    }
    return href;
}

std::string LogLink(const std::string& path, const std::string& runPath)
{
    if (path.empty())
        return "";
    return "<a href=\"" + Escape(HrefOf(path, runPath)) + "\">" + Escape(NameOf(path)) + "</a>";
}

std::string Plural(std::size_t count, const std::string& word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

const FrameRecord* RecordOf(const std::map<int, const FrameRecord*>& records, int frame)
{
    const auto found = records.find(frame);
    return found == records.end() ? nullptr : found->second;
}

// Seconds the record's last attempt took, or a negative number when it
// does not say.
double RenderSeconds(const FrameRecord& record)
{
    return record.started > 0 && record.ended >= record.started ? record.ended - record.started : -1;
}

class Page {
public:
    explicit Page(const ReportInputs& inputs) : in_(inputs), run_(*inputs.run), state_(run_.state)
    {
        for (const FrameRecord& record : run_.records.records)
            records_[record.frame] = &record;
        const std::pair<const std::vector<int>*, FrameState> lists[] = {
            {&state_.done, Done},       {&state_.pending, Pending}, {&state_.suspended, Suspended},
            {&state_.running, Running}, {&state_.missing, Missing}, {&state_.notRun, NeverRan},
            {&state_.failed, Failed}};
        for (const auto& [frames, which] : lists) {
            counts_[which] = frames->size();
            for (const int frame : *frames)
                stateOf_[frame] = which;
        }
        counts_[Damaged] = state_.damaged.size();
        for (const DamagedRecord& record : state_.damaged)
            stateOf_[record.frame] = Damaged;
    }

    std::string Html()
    {
        const std::string& shot = in_.moviePath.empty() ? run_.manifest.output : in_.moviePath;
        html_ = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                Escape("veldra farm: " + shot) + "</title>\n<style>\n" + Styles() + "</style>\n</head>\n<body>\n";
        html_ += "<header><h1>" + Escape(shot) + "</h1>\n<p id=\"summary\">" + Escape(Summary()) + "</p></header>\n";
        Shot();
        Progress();
        Frames();
        Failures();
        Nodes();
        Times();
        Tasks();
        Sheet();
        html_ +=
            "<footer>Written by veldra farm at " + Escape(UtcTimeText(in_.now)) + " from " + Escape(in_.runPath) +
            ". <code>veldra farm status " + Escape(in_.runPath) +
            "</code> says the same in text; <code>--verbose</code> lists every frame.</footer>\n</body>\n</html>\n";
        return html_;
    }

private:
    static std::string Styles()
    {
        return "body{font:14px/1.4 system-ui,sans-serif;margin:0 auto;max-width:1100px;padding:0 16px 32px;"
               "color:#222}\n"
               "h1{font-size:20px;margin:16px 0 4px;word-break:break-all}h2{font-size:16px;margin:24px 0 8px;"
               "border-bottom:1px solid #ddd}\n"
               "table{border-collapse:collapse;width:100%}td,th{text-align:left;padding:3px 8px;"
               "border-bottom:1px solid #eee;vertical-align:top}th{background:#f5f5f5}\n"
               "table.facts th{width:180px}td.num,th.num{text-align:right}code{font-size:13px}\n"
               ".bar{display:flex;height:22px;border-radius:4px;overflow:hidden;background:#eee}"
               ".bar span{display:block;height:100%}\n"
               "#counts{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:6px 18px}"
               ".swatch{display:inline-block;width:11px;height:11px;border-radius:2px;margin-right:5px}\n"
               ".note{color:#666}svg{display:block;max-width:100%}#time-chart,#node-chart{height:auto}"
               "#strip{width:100%;height:24px}\n"
               "#sheet{display:flex;flex-wrap:wrap;gap:8px}figure{margin:0;text-align:center;font-size:12px}\n"
               "figure .check{display:flex;align-items:center;justify-content:center;width:96px;height:96px;"
               "background-color:#fff;background-image:linear-gradient(45deg,#ccc 25%,transparent 25%,"
               "transparent 75%,#ccc 75%),linear-gradient(45deg,#ccc 25%,transparent 25%,transparent 75%,"
               "#ccc 75%);background-size:12px 12px;background-position:0 0,6px 6px}\n"
               "footer{margin-top:32px;color:#666;font-size:12px}\n";
    }

    bool Active() const { return !state_.TasksEnded(); }

    std::string Summary() const
    {
        const std::size_t total = run_.manifest.frames.size();
        if (Active())
            return "Running: " + std::to_string(state_.done.size()) + " of " + Plural(total, "frame") + " done, " +
                   std::to_string(state_.running.size()) + " in running tasks, " +
                   std::to_string(state_.pending.size()) + " pending, " + std::to_string(state_.failed.size()) +
                   " failed.";
        if (state_.AllDone())
            return "Finished: every frame is done (" + Plural(total, "frame") + ").";
        return "Ended: " + std::to_string(state_.done.size()) + " of " + Plural(total, "frame") + " done, " +
               std::to_string(state_.failed.size()) + " failed, " + std::to_string(state_.notRun.size()) +
               " never ran, " + std::to_string(state_.missing.size()) + " missing since done. veldra farm retry " +
               in_.runPath + " renders them.";
    }

    void Row(const std::string& label, const std::string& value)
    {
        html_ += "<tr><th>" + Escape(label) + "</th><td>" + value + "</td></tr>\n";
    }

    void Shot()
    {
        const FarmManifest& manifest = run_.manifest;
        std::string jobs;
        for (const Submission& submission : run_.submissions) {
            if (!submission.arrayJob.empty())
                jobs += (jobs.empty() ? "" : ", ") + submission.arrayJob +
                        (submission.reportJob.empty() ? "" : " (report " + submission.reportJob + ")");
        }
        html_ += "<section id=\"shot\"><h2>Shot</h2>\n<table class=\"facts\">\n";
        Row("input", "<code>" + Escape(manifest.input) + "</code>");
        Row("output", "<code>" + Escape(manifest.output) + "</code>");
        if (!in_.movieStep.empty())
            Row("movie", Escape(in_.movieStep));
        Row("frames", Escape(Plural(manifest.frames.size(), "frame") + ": " + StretchText(manifest.frames, 12)));
        Row("range", std::to_string(manifest.rangeFirst) + " to " + std::to_string(manifest.rangeLast));
        Row("parameters", Escape(in_.parameters));
        Row("settings", "<code>" + Escape(manifest.settings) + "</code>");
        Row("chunks",
            Escape(std::to_string(manifest.chunk) + " frames a task, " + std::to_string(manifest.retries) +
                   (manifest.retries == 1 ? " retry" : " retries") + " a frame" +
                   (manifest.maxParallel > 0 ? ", at most " + std::to_string(manifest.maxParallel) + " tasks at once"
                                             : "")));
        Row("jobs", Escape(jobs.empty() ? "none" : jobs));
        Row("run folder", "<code>" + Escape(in_.runPath) + "</code>");
        html_ += "</table></section>\n";
    }

    void Progress()
    {
        const double total = static_cast<double>(std::max<std::size_t>(1, run_.manifest.frames.size()));
        html_ += "<section id=\"progress\"><h2>Progress</h2>\n<div class=\"bar\" id=\"bar\">";
        for (int which = 0; which < kStates; ++which) {
            if (counts_[which] == 0)
                continue;
            html_ += "<span data-state=\"" + std::string(kStateKeys[which]) +
                     "\" style=\"width:" + Number(100.0 * static_cast<double>(counts_[which]) / total, "%.3f") +
                     "%;background:" + kStateColours[which] + "\" title=\"" + kStateNames[which] + ": " +
                     std::to_string(counts_[which]) + "\"></span>";
        }
        html_ += "</div>\n<ul id=\"counts\">";
        for (int which = 0; which < kStates; ++which)
            html_ += "<li data-state=\"" + std::string(kStateKeys[which]) +
                     "\"><span class=\"swatch\" style=\"background:" + kStateColours[which] +
                     "\"></span><b class=\"count\">" + std::to_string(counts_[which]) + "</b> " + kStateNames[which] +
                     "</li>";
        html_ += "</ul>\n<p id=\"times\">" + Escape(TimesText()) + "</p></section>\n";
    }

    std::string TimesText() const
    {
        const double made = RunMadeAt(NameOf(in_.runPath));
        double firstStart = 0, lastEnd = 0;
        for (const FrameRecord& record : run_.records.records) {
            if (record.started > 0 && (firstStart == 0 || record.started < firstStart))
                firstStart = record.started;
            lastEnd = std::max(lastEnd, record.ended);
        }
        const double since = made > 0 ? made : firstStart;
        std::string text;
        if (since <= 0)
            return "Submitted; no frame has started yet.";
        if (!Active())
            return "Took " + Duration(std::max(0.0, std::max(lastEnd, since) - since)) +
                   " from submission to the last frame.";
        text = "Elapsed " + Duration(std::max(0.0, in_.now - since)) + " since submission. ";
        const std::size_t done = state_.done.size(), left = run_.manifest.frames.size() - done;
        if (done == 0 || firstStart <= 0 || in_.now <= firstStart)
            return text + "No estimate yet: no frame is done.";
        const double perSecond = static_cast<double>(done) / (in_.now - firstStart);
        return text + "About " + Duration(static_cast<double>(left) / perSecond) + " left at the pace so far (" +
               Number(perSecond * 60, "%.1f") + " frames a minute).";
    }

    // The frames in the shot's order, each with its state.
    std::vector<std::pair<int, FrameState>> FrameStates() const
    {
        std::vector<std::pair<int, FrameState>> states;
        for (const int frame : run_.manifest.frames) {
            const auto found = stateOf_.find(frame);
            states.emplace_back(frame, found == stateOf_.end() ? NeverRan : found->second);
        }
        return states;
    }

    void Frames()
    {
        const auto states = FrameStates();
        html_ += "<section id=\"frame-map\"><h2>Frames</h2>\n";
        // The strip: each column the frames it covers, shown by the state
        // that most needs seeing among them.
        if (!states.empty()) {
            const int columns = static_cast<int>(std::min<std::size_t>(kStripColumns, states.size()));
            html_ += "<svg id=\"strip\" viewBox=\"0 0 " + std::to_string(columns) +
                     " 24\" preserveAspectRatio=\"none\" width=\"100%\" height=\"24\">";
            int from = 0;
            FrameState shown = Done;
            for (int column = 0; column <= columns; ++column) {
                FrameState here = Done;
                if (column < columns) {
                    const std::size_t first = states.size() * static_cast<std::size_t>(column) / columns;
                    const std::size_t last = states.size() * static_cast<std::size_t>(column + 1) / columns;
                    for (std::size_t i = first; i < last; ++i)
                        here = std::max(here, states[i].second);
                }
                if (column > 0 && (column == columns || here != shown))
                    html_ += "<rect x=\"" + std::to_string(from) + "\" width=\"" + std::to_string(column - from) +
                             "\" height=\"24\" fill=\"" + kStateColours[shown] + "\"/>";
                if (column == 0 || here != shown) {
                    if (column > 0)
                        from = column;
                    shown = here;
                }
            }
            html_ += "</svg>\n<p class=\"note\">Frames " + std::to_string(states.front().first) + " to " +
                     std::to_string(states.back().first) + ", left to right.</p>\n";
        }
        html_ +=
            "<table id=\"frames\"><tr><th>frames</th><th class=\"num\">count</th><th>state</th>"
            "<th>nodes</th></tr>\n";
        std::size_t rows = 0, stretches = 0;
        for (std::size_t at = 0; at < states.size();) {
            std::size_t end = at + 1;
            while (end < states.size() && states[end].second == states[at].second)
                ++end;
            ++stretches;
            if (rows < kMostRows) {
                std::set<std::string> nodes;
                for (std::size_t i = at; i < end && nodes.size() < 5; ++i) {
                    if (const FrameRecord* record = RecordOf(records_, states[i].first);
                        record && !NodeOf(*record).empty())
                        nodes.insert(NodeOf(*record));
                }
                std::string nodeText;
                for (const std::string& node : nodes)
                    nodeText += (nodeText.empty() ? "" : ", ") + node;
                const int first = states[at].first, last = states[end - 1].first;
                const FrameState which = states[at].second;
                html_ += "<tr data-first=\"" + std::to_string(first) + "\" data-last=\"" + std::to_string(last) +
                         "\" data-state=\"" + kStateKeys[which] + "\"><td>" +
                         (first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last)) +
                         "</td><td class=\"num\">" + std::to_string(end - at) +
                         "</td><td><span class=\"swatch\" "
                         "style=\"background:" +
                         kStateColours[which] + "\"></span>" + kStateNames[which] + "</td><td>" + Escape(nodeText) +
                         "</td></tr>\n";
                ++rows;
            }
            at = end;
        }
        html_ += "</table>\n";
        if (stretches > rows)
            html_ += "<p class=\"note\">" + std::to_string(stretches - rows) +
                     " more stretches: <code>veldra farm status --verbose</code> lists every frame.</p>\n";
        html_ += "</section>\n";
    }

    void Failures()
    {
        html_ += "<section id=\"failures-section\"><h2>Failures</h2>\n";
        std::vector<std::string> reasons;
        std::map<std::string, std::vector<const FrameRecord*>> byReason;
        for (const FrameRecord& record : state_.failures) {
            const std::string reason = FailureReason(record, run_.manifest);
            if (byReason.count(reason) == 0)
                reasons.push_back(reason);
            byReason[reason].push_back(&record);
        }
        if (reasons.empty() && state_.endings.empty() && state_.missing.empty()) {
            html_ += "<p id=\"no-failures\">No frame failed.</p></section>\n";
            return;
        }
        html_ +=
            "<table id=\"failures\"><tr><th>frames</th><th>reason</th><th>attempts</th><th>nodes</th>"
            "<th>log</th></tr>\n";
        for (std::size_t i = 0; i < reasons.size() && i < kMostRows; ++i) {
            const auto& group = byReason[reasons[i]];
            std::vector<int> frames;
            std::set<std::string> nodes, logs;
            int least = INT_MAX, most = 0;
            for (const FrameRecord* record : group) {
                frames.push_back(record->frame);
                nodes.insert(NodeOf(*record));
                logs.insert(record->log);
                least = std::min(least, record->attempts);
                most = std::max(most, record->attempts);
            }
            std::string nodeText, logText;
            for (const std::string& node : nodes)
                nodeText += (nodeText.empty() ? "" : ", ") + node;
            std::size_t shownLogs = 0;
            for (const std::string& log : logs) {
                if (shownLogs++ < 3)
                    logText += (logText.empty() ? "" : "<br>") + LogLink(log, in_.runPath);
            }
            if (logs.size() > 3)
                logText += "<br>and " + std::to_string(logs.size() - 3) + " more";
            const std::string message = group.size() == 1 ? group[0]->message : reasons[i];
            html_ += "<tr class=\"failure\" data-frames=\"" + FrameList::Of(frames).Text() + "\"><td>" +
                     Escape(StretchText(frames, 12)) + "</td><td class=\"reason\">" +
                     Escape(message.empty() ? "failed" : message) + "</td><td>" +
                     (least == most ? std::to_string(least) : std::to_string(least) + "-" + std::to_string(most)) +
                     "</td><td class=\"nodes\">" + Escape(nodeText) + "</td><td>" + logText + "</td></tr>\n";
        }
        for (const TaskEnding& ending : state_.endings) {
            if (ending.frames.empty())
                continue;
            html_ += "<tr class=\"ending\" data-frames=\"" + FrameList::Of(ending.frames).Text() + "\"><td>" +
                     Escape(StretchText(ending.frames, 12)) + "</td><td class=\"reason\">never ran: task " +
                     std::to_string(ending.task) + " of job " + Escape(ending.job) + " " + Escape(ending.ending) +
                     "</td><td></td><td></td><td>" +
                     LogLink(TaskLogPath(in_.runPath, ending.job, std::to_string(ending.task)), in_.runPath) +
                     "</td></tr>\n";
        }
        if (!state_.missing.empty())
            html_ += "<tr class=\"missing\" data-frames=\"" + FrameList::Of(state_.missing).Text() + "\"><td>" +
                     Escape(StretchText(state_.missing, 12)) +
                     "</td><td class=\"reason\">missing since done: the output is gone, or another file now</td>"
                     "<td></td><td></td><td></td></tr>\n";
        html_ += "</table></section>\n";
    }

    struct NodeLine {
        std::set<std::string> hosts;
        std::vector<double> seconds;
    };

    void Nodes()
    {
        std::map<std::string, NodeLine> lines;
        for (const FrameRecord& record : run_.records.records) {
            NodeLine& line = lines[NodeOf(record)];
            if (!record.host.empty())
                line.hosts.insert(record.host);
            if (record.ok && stateOf_.count(record.frame) && stateOf_.at(record.frame) == Done &&
                RenderSeconds(record) >= 0)
                line.seconds.push_back(RenderSeconds(record));
        }
        for (const TaskRecord& task : run_.tasks)
            lines[NodeOf(task)].hosts.insert(task.host);
        html_ +=
            "<section id=\"nodes-section\"><h2>Nodes</h2>\n<table id=\"nodes\"><tr><th>node</th><th>host</th>"
            "<th class=\"num\">done</th><th class=\"num\">failed</th><th class=\"num\">lost</th>"
            "<th class=\"num\">render time</th><th class=\"num\">a frame</th><th>tasks lost</th></tr>\n";
        double slowest = 0;
        for (const auto& [name, line] : lines) {
            if (!line.seconds.empty())
                slowest = std::max(slowest, Mean(line.seconds));
        }
        std::string bars;
        int barRow = 0;
        for (const auto& [name, line] : lines) {
            if (name.empty())
                continue;
            const auto work = state_.nodes.find(name);
            const NodeWork empty;
            const NodeWork& done = work == state_.nodes.end() ? empty : work->second;
            std::string hosts;
            for (const std::string& host : line.hosts)
                hosts += (hosts.empty() ? "" : ", ") + host;
            double total = 0;
            for (const double seconds : line.seconds)
                total += seconds;
            std::string lost;
            for (std::size_t i = 0; i < done.lostTasks.size() && i < 5; ++i)
                lost += (lost.empty() ? "" : ", ") + done.lostTasks[i];
            if (done.lostTasks.size() > 5)
                lost += " and " + std::to_string(done.lostTasks.size() - 5) + " more";
            html_ += "<tr class=\"node\" data-node=\"" + Escape(name) + "\"><td>" + Escape(name) + "</td><td>" +
                     Escape(hosts) + "</td><td class=\"num\">" + std::to_string(done.done.size()) +
                     "</td><td class=\"num\">" + std::to_string(done.failed.size()) + "</td><td class=\"num\">" +
                     std::to_string(done.lost.size()) + "</td><td class=\"num\">" +
                     (line.seconds.empty() ? "" : Duration(total)) + "</td><td class=\"num\">" +
                     (line.seconds.empty() ? "" : Duration(Mean(line.seconds))) + "</td><td>" + Escape(lost) +
                     "</td></tr>\n";
            if (!line.seconds.empty() && slowest > 0) {
                const double width = 700 * Mean(line.seconds) / slowest;
                const std::string y = std::to_string(barRow * 26);
                bars += "<text x=\"0\" y=\"" + std::to_string(barRow * 26 + 16) + "\">" + Escape(name) +
                        "</text><rect x=\"120\" y=\"" + y + "\" width=\"" + Number(std::max(1.0, width), "%.1f") +
                        "\" height=\"20\" fill=\"#3b7dd8\"/><text x=\"" + Number(126 + width, "%.1f") + "\" y=\"" +
                        std::to_string(barRow * 26 + 16) + "\">" + Escape(Duration(Mean(line.seconds))) + " a frame, " +
                        Plural(line.seconds.size(), "frame") + "</text>";
                ++barRow;
            }
        }
        html_ += "</table>\n";
        if (barRow > 0)
            html_ += "<h3>Render time a frame, by node</h3>\n<svg id=\"node-chart\" viewBox=\"0 0 1000 " +
                     std::to_string(barRow * 26) + "\" width=\"1000\" height=\"" + std::to_string(barRow * 26) +
                     "\" font-size=\"13\">" + bars + "</svg>\n";
        html_ += "</section>\n";
    }

    static double Mean(const std::vector<double>& values)
    {
        double sum = 0;
        for (const double value : values)
            sum += value;
        return values.empty() ? 0 : sum / static_cast<double>(values.size());
    }

    // Render time per frame: the frames done, in the shot's order, in bins;
    // each bin's mean as a line and its least and most as a band.
    void Times()
    {
        std::vector<std::pair<int, double>> timed;
        for (const int frame : state_.done) {
            const FrameRecord* record = RecordOf(records_, frame);
            if (record && RenderSeconds(*record) >= 0)
                timed.emplace_back(frame, RenderSeconds(*record));
        }
        html_ += "<section id=\"times-section\"><h2>Render time per frame</h2>\n";
        if (timed.empty()) {
            html_ += "<p class=\"note\">No frame done has its time recorded yet.</p></section>\n";
            return;
        }
        const std::size_t bins = std::min(kChartBins, timed.size());
        std::vector<double> least(bins, 1e300), most(bins, 0), sum(bins, 0);
        std::vector<std::size_t> count(bins, 0);
        double top = 0;
        for (std::size_t i = 0; i < timed.size(); ++i) {
            const std::size_t bin = i * bins / timed.size();
            least[bin] = std::min(least[bin], timed[i].second);
            most[bin] = std::max(most[bin], timed[i].second);
            sum[bin] += timed[i].second;
            ++count[bin];
            top = std::max(top, timed[i].second);
        }
        top = top > 0 ? top * 1.1 : 1;
        const double left = 60, width = 920, height = 200;
        const auto x = [&](std::size_t bin) {
            return left + (bins == 1 ? width / 2 : width * static_cast<double>(bin) / static_cast<double>(bins - 1));
        };
        const auto y = [&](double seconds) { return 10 + height * (1 - seconds / top); };
        std::string band, line;
        for (std::size_t bin = 0; bin < bins; ++bin)
            band += Number(x(bin), "%.1f") + "," + Number(y(most[bin]), "%.1f") + " ";
        for (std::size_t bin = bins; bin-- > 0;)
            band += Number(x(bin), "%.1f") + "," + Number(y(least[bin]), "%.1f") + " ";
        for (std::size_t bin = 0; bin < bins; ++bin)
            line += Number(x(bin), "%.1f") + "," + Number(y(sum[bin] / static_cast<double>(count[bin])), "%.1f") + " ";
        html_ +=
            "<svg id=\"time-chart\" viewBox=\"0 0 1000 250\" width=\"1000\" height=\"250\" font-size=\"12\">"
            "<line x1=\"60\" y1=\"210\" x2=\"980\" y2=\"210\" stroke=\"#999\"/>"
            "<line x1=\"60\" y1=\"10\" x2=\"60\" y2=\"210\" stroke=\"#999\"/>"
            "<text x=\"55\" y=\"16\" text-anchor=\"end\">" +
            Escape(Duration(top)) +
            "</text>"
            "<text x=\"55\" y=\"210\" text-anchor=\"end\">0</text>"
            "<text x=\"60\" y=\"228\">frame " +
            std::to_string(timed.front().first) +
            "</text>"
            "<text x=\"980\" y=\"228\" text-anchor=\"end\">frame " +
            std::to_string(timed.back().first) + "</text><polygon points=\"" + band +
            "\" fill=\"#3b7dd8\" fill-opacity=\"0.25\"/>"
            "<polyline points=\"" +
            line + "\" fill=\"none\" stroke=\"#3b7dd8\" stroke-width=\"1.5\"/></svg>\n";
        html_ += "<p class=\"note\">" + Plural(timed.size(), "frame") +
                 (bins < timed.size() ? " in " + std::to_string(bins) +
                                            " bins: the line is each bin's mean, the band"
                                            " its fastest and slowest frame."
                                      : ": the time each took.") +
                 "</p></section>\n";
    }

    struct TaskRow {
        std::string job;
        int task = 0;
        std::vector<int> frames;
        std::string nodes, state, ending, log;
    };

    std::vector<TaskRow> TaskRows() const
    {
        std::map<std::pair<std::string, int>, std::vector<const TaskRecord*>> starts;
        for (const TaskRecord& record : run_.tasks) {
            if (const auto task = ParseInteger(record.task, 0, INT_MAX))
                starts[{record.job, static_cast<int>(*task)}].push_back(&record);
        }
        std::map<std::pair<std::string, int>, const LiveJob*> live;
        for (const LiveJob& job : run_.live) {
            if (job.task)
                live[{job.job, *job.task}] = &job;
        }
        std::vector<TaskRow> rows;
        for (const Submission& submission : run_.submissions) {
            for (std::size_t chunk = 0; chunk < submission.chunks.size() && !submission.arrayJob.empty(); ++chunk) {
                TaskRow row;
                row.job = submission.arrayJob;
                row.task = static_cast<int>(chunk);
                row.frames = submission.chunks[chunk];
                const auto known = starts.find({row.job, row.task});
                const auto slurm = live.find({row.job, row.task});
                const LiveJob* job = slurm == live.end() ? nullptr : slurm->second;
                const TaskRecord* latest = nullptr;
                if (known != starts.end()) {
                    for (const TaskRecord* start : known->second) {
                        const bool last = start == known->second.back();
                        row.nodes += (row.nodes.empty() ? "" : ", ") + NodeOf(*start) +
                                     (!last && !start->ended ? " (lost)" : "");
                        latest = start;
                    }
                }
                if (job && IsActive(job->state)) {
                    row.state = IsRunning(job->state) ? "running" : "pending";
                } else if (latest && latest->ended) {
                    row.state = "ended";
                    row.ending = job ? EndingOf(*job) : latest->ending;
                } else if (latest) {
                    row.state = "lost";
                    row.ending = job ? EndingOf(*job) : "stopped without a word on " + NodeOf(*latest);
                } else {
                    row.state = job ? "ended" : "not started";
                    row.ending = job ? EndingOf(*job) : "";
                }
                const std::string log = TaskLogPath(in_.runPath, row.job, std::to_string(row.task));
                if (latest)
                    row.log = log;
                rows.push_back(std::move(row));
            }
        }
        return rows;
    }

    void Tasks()
    {
        const std::vector<TaskRow> rows = TaskRows();
        html_ +=
            "<section id=\"tasks-section\"><h2>Tasks</h2>\n<table id=\"tasks\"><tr><th>job</th><th>task</th>"
            "<th>frames</th><th>node</th><th>state</th><th>how it ended</th><th>log</th></tr>\n";
        // Few tasks: a row each. Many: consecutive tasks of a job that
        // stand and ended alike share a row, with their nodes counted.
        const bool group = rows.size() > kMostRows;
        std::size_t shown = 0;
        for (std::size_t at = 0; at < rows.size();) {
            std::size_t end = at + 1;
            while (group && end < rows.size() && rows[end].job == rows[at].job && rows[end].state == rows[at].state &&
                   rows[end].ending == rows[at].ending)
                ++end;
            if (shown++ >= kMostRows) {
                html_ +=
                    "</table>\n<p class=\"note\">More tasks than fit: <code>veldra farm status --verbose</code>"
                    " says how each ended.</p></section>\n";
                return;
            }
            const TaskRow& first = rows[at];
            std::vector<int> frames, tasks;
            std::map<std::string, int> nodes;
            for (std::size_t i = at; i < end; ++i) {
                frames.insert(frames.end(), rows[i].frames.begin(), rows[i].frames.end());
                tasks.push_back(rows[i].task);
                ++nodes[rows[i].nodes];
            }
            std::string nodeText;
            for (const auto& [node, times] : nodes)
                nodeText += (nodeText.empty() ? "" : "; ") + node +
                            (end - at > 1 ? " (" + std::to_string(times) + ")" : "");
            html_ += "<tr class=\"task\" data-job=\"" + Escape(first.job) + "\" data-task=\"" +
                     FrameList::Of(tasks).Text() + "\" data-state=\"" + first.state + "\"><td>" + Escape(first.job) +
                     "</td><td>" + StretchText(tasks, 6) + "</td><td>" + Escape(StretchText(frames, 6)) + "</td><td>" +
                     Escape(nodeText) + "</td><td>" + first.state + "</td><td>" + Escape(first.ending) + "</td><td>" +
                     (end - at == 1 ? LogLink(first.log, in_.runPath) : "") + "</td></tr>\n";
            at = end;
        }
        html_ += "</table></section>\n";
    }

    void Sheet()
    {
        html_ += "<section id=\"sheet-section\"><h2>Frames rendered</h2>\n";
        if (in_.thumbnails.empty()) {
            html_ += "<p class=\"note\">" +
                     Escape(in_.noThumbnails.empty() ? "No frame is done yet." : in_.noThumbnails) + "</p></section>\n";
            return;
        }
        html_ += "<p class=\"note\">" + std::to_string(in_.thumbnails.size()) + " of the " +
                 Plural(state_.done.size(), "frame") +
                 " done, spread over the shot, over a checkerboard where they are transparent.</p>\n<div id=\"sheet\">";
        for (const ReportThumbnail& thumbnail : in_.thumbnails) {
            const FrameRecord* record = RecordOf(records_, thumbnail.frame);
            const std::string node = record ? NodeOf(*record) : "";
            html_ += "<figure class=\"thumb\" data-frame=\"" + std::to_string(thumbnail.frame) +
                     "\"><div class=\"check\">";
            if (thumbnail.png.empty())
                html_ += "<span class=\"note\" title=\"" + Escape(thumbnail.why) + "\">cannot read</span>";
            else
                html_ += "<img alt=\"frame " + std::to_string(thumbnail.frame) + "\" src=\"data:image/png;base64," +
                         Base64(thumbnail.png) + "\">";
            html_ += "</div><figcaption>" + std::to_string(thumbnail.frame) +
                     (node.empty() ? "" : " &middot; " + Escape(node)) + "</figcaption></figure>";
        }
        html_ += "</div></section>\n";
    }

    const ReportInputs& in_;
    const RunView& run_;
    const RunState& state_;
    std::map<int, const FrameRecord*> records_;
    std::map<int, FrameState> stateOf_;
    std::size_t counts_[kStates] = {};
    std::string html_;
};

}  // namespace

std::string ReportPage(const ReportInputs& inputs) { return Page(inputs).Html(); }

std::vector<int> ThumbnailFrames(const std::vector<int>& done, std::size_t most)
{
    if (done.size() <= most)
        return done;
    std::vector<int> frames;
    for (std::size_t i = 0; i < most; ++i)
        frames.push_back(done[most == 1 ? done.size() - 1 : i * (done.size() - 1) / (most - 1)]);
    return frames;
}
