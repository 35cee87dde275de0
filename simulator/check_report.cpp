// The check's table and its JSON document.
#include "simulator/check_report.h"

#include "simulator/json_input.h"
#include "simulator/telling.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace simtool {

namespace {

using Json = nlohmann::ordered_json;

const char* Mark(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return "✓";
    case Verdict::Fail:
        return "✗";
    case Verdict::NotJudged:
        break;
    }
    return "–";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "fail";
    case Verdict::NotJudged:
        break;
    }
    return "not judged";
}

// Pads text, whose marks take one column each, to width columns.
std::string Padded(const std::string& text, std::size_t columns, std::size_t width) {
    return text + std::string(width > columns ? width - columns : 0, ' ');
}

// The lines under a row: each failed cell's reason, then the cells not
// judged, those with the same reason on one line.
void WriteReasons(std::ostream& out, const DeviceCheck& check) {
    for (int c = 0; c < Columns; ++c) {
        const Judgement& j = check.judgements[c];
        if (j.verdict == Verdict::Fail) {
            out << Escaped("    ✗ " + std::string(Heading(Column(c))) + ": " + j.Reason()) << "\n";
        }
    }
    std::vector<bool> told(Columns, false);
    for (int c = 0; c < Columns; ++c) {
        const Judgement& j = check.judgements[c];
        if (j.verdict != Verdict::NotJudged || told[c]) {
            continue;
        }
        std::vector<std::string> columns;
        for (int k = c; k < Columns; ++k) {
            if (check.judgements[k].verdict == Verdict::NotJudged &&
                check.judgements[k].why == j.why) {
                columns.push_back(Heading(Column(k)));
                told[k] = true;
            }
        }
        out << Escaped("    – " + Listed(columns) + ": not judged, since " + j.why) << "\n";
    }
    for (const std::string& note : check.notes) {
        out << Escaped("    note: " + note) << "\n";
    }
}

} // namespace

std::vector<std::string> Programs(const CheckRun& run) {
    std::vector<std::string> programs;
    std::string folders;
    for (const DeviceCheck& check : run.devices) {
        const std::string program = CheckProgramText(check.program, run.choice);
        if (!program.empty() &&
            std::find(programs.begin(), programs.end(), program) == programs.end()) {
            programs.push_back(program);
        }
        const std::string folder = std::to_string(check.processor) + "\\autorun.exe";
        if (folders.find(folder) == std::string::npos) {
            folders += (folders.empty() ? "" : " or ") + folder;
        }
    }
    if (programs.empty()) {
        programs.push_back("none; no card holds " + folders);
    }
    return programs;
}

std::string ProgramText(const CheckRun& run) {
    std::string text;
    for (const std::string& program : Programs(run)) {
        text += (text.empty() ? "" : "; ") + program;
    }
    return text;
}

int CheckStatus(const std::vector<DeviceCheck>& devices) {
    const bool crashed =
        std::any_of(devices.begin(), devices.end(), [](const DeviceCheck& d) { return d.crashed; });
    const bool fails = std::any_of(devices.begin(), devices.end(),
                                   [](const DeviceCheck& d) { return !d.Passes(); });
    return crashed ? CheckCrashed : fails ? CheckFails : CheckPasses;
}

void WriteCheckTable(std::ostream& out, const CheckRun& run) {
    out << Escaped((Programs(run).size() == 1 ? "The program: " : "The programs: ") +
                   ProgramText(run) + ".")
        << "\n";
    for (const std::string& note : run.notes) {
        out << Escaped("Note: " + note) << "\n";
    }
    out << "\n";
    std::size_t first = std::string("device").size();
    for (const DeviceCheck& check : run.devices) {
        first = std::max(first, check.device.size());
    }
    first += 2;
    out << Padded("device", 6, first);
    for (int c = 0; c < Columns; ++c) {
        const std::string heading = Heading(Column(c));
        out << (c + 1 < Columns ? Padded(heading, heading.size(), heading.size() + 2) : heading);
    }
    out << "\n";
    std::vector<std::string> allowed;
    int passing = 0;
    for (const DeviceCheck& check : run.devices) {
        std::string row = Padded(check.device, check.device.size(), first);
        for (int c = 0; c < Columns; ++c) {
            const std::size_t width = std::string(Heading(Column(c))).size() + 2;
            const char* mark = Mark(check.judgements[c].verdict);
            row += c + 1 < Columns ? Padded(mark, 1, width) : mark;
        }
        out << Escaped(row) << "\n";
        WriteReasons(out, check);
        passing += check.Passes() ? 1 : 0;
        for (const std::string& path : check.allowed) {
            if (std::find(allowed.begin(), allowed.end(), path) == allowed.end()) {
                allowed.push_back(path);
            }
        }
    }
    out << "\n";
    for (const std::string& path : allowed) {
        out << Escaped("Left after removal and allowed: " + path +
                       ", the shell's own copy of the card's program.")
            << "\n";
    }
    if (!run.unused.empty()) {
        out << Escaped("Not used from the description: " + Listed(run.unused) +
                       " (each device's profile gives its facts, and the check plays the card's "
                       "own life).")
            << "\n";
    }
    out << passing << " of " << run.devices.size()
        << (run.devices.size() == 1 ? " device passes.\n" : " devices pass.\n");
}

void WriteCheckJson(std::ostream& out, const CheckRun& run) {
    Json document;
    document["card"] = run.card;
    document["program"] = ProgramText(run);
    document["notes"] = run.notes;
    document["columns"] = Json::array();
    for (int c = 0; c < Columns; ++c) {
        document["columns"].push_back({{"key", Key(Column(c))}, {"heading", Heading(Column(c))}});
    }
    document["devices"] = Json::array();
    for (const DeviceCheck& check : run.devices) {
        Json device;
        device["device"] = check.device;
        device["name"] = check.name;
        Json program = {{"file", nullptr}, {"runs", CheckProgramRuns(check.program, run.choice)}};
        if (check.program.holds != CardProgram::NoFile) {
            program["file"] = sim::Utf8(check.program.file);
        }
        if (program["runs"] == "image") {
            program["image"] = run.choice.image;
            program["machine"] = run.choice.machine;
        } else if (check.program.holds == CardProgram::Image) {
            program["machine"] = check.program.machine;
        }
        device["program"] = program;
        device["passes"] = check.Passes();
        device["crashed"] = check.crashed;
        Json judgements = Json::object();
        for (int c = 0; c < Columns; ++c) {
            const Judgement& j = check.judgements[c];
            Json cell = {{"verdict", VerdictName(j.verdict)}};
            if (j.verdict != Verdict::Pass) {
                cell["why"] = j.why;
            }
            if (!j.causes.empty()) {
                cell["causes"] = j.causes;
            }
            judgements[Key(Column(c))] = cell;
        }
        device["judgements"] = judgements;
        device["left"] = check.left;
        device["leftValues"] = Json::array();
        for (const LeftValue& value : check.leftValues) {
            device["leftValues"].push_back({{"key", value.key},
                                            {"name", value.name},
                                            {"change", value.added ? "added" : "changed"}});
        }
        device["allowed"] = check.allowed;
        device["foldersLeft"] = check.foldersLeft;
        device["notes"] = check.notes;
        document["devices"].push_back(device);
    }
    document["unused"] = run.unused;
    document["status"] = CheckStatus(run.devices);
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

} // namespace simtool
