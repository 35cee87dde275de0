// The check's table and its JSON document.
#include "simulator/check_report.h"

#include "simulator/json_input.h"
#include "simulator/telling.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace simtool {

namespace {

using Json = nlohmann::ordered_json;

const char* MarkOf(Verdict verdict) {
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

// The columns text takes: one for each character.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Pads text, whose marks take one column each, to width columns.
std::string Padded(const std::string& text, std::size_t columns, std::size_t width) {
    return text + std::string(width > columns ? width - columns : 0, ' ');
}

// The lines under a row: each failed cell's reason, with what to change;
// then the cells not judged, those with the same reason on one line; the
// device's notes; and the assumptions the row's verdicts rest on, each with
// the cells that rest on it.
void WriteReasons(std::ostream& out, const DeviceCheck& check) {
    for (int c = 0; c < Columns; ++c) {
        const Judgement& j = check.judgements[c];
        if (j.verdict == Verdict::Fail) {
            const std::string expected =
                j.Expected() ? " (expected: " + j.expected + ")" : std::string();
            out << Escaped("    ✗ " + std::string(Heading(Column(c))) + expected + ": " +
                           j.Reason())
                << "\n";
            for (const std::string& remedy : j.remedies) {
                out << Escaped("      to change: " + remedy) << "\n";
            }
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
    std::vector<const Assumption*> assumptions;
    for (const Judgement& j : check.judgements) {
        for (const Assumption& a : j.assumes) {
            if (std::none_of(assumptions.begin(), assumptions.end(),
                             [&a](const Assumption* known) { return known->fact == a.fact; })) {
                assumptions.push_back(&a);
            }
        }
    }
    for (const Assumption* a : assumptions) {
        std::vector<std::string> columns;
        for (int c = 0; c < Columns; ++c) {
            const auto& on = check.judgements[c].assumes;
            if (std::any_of(on.begin(), on.end(),
                            [a](const Assumption& b) { return b.fact == a->fact; })) {
                columns.push_back(Heading(Column(c)));
            }
        }
        out << Escaped("    ? " + Listed(columns) + ": " + RestsOn(*a)) << "\n";
    }
}

// "processor=2577 and autoRunPolicy=1".
std::string SetText(const std::vector<std::string>& set) {
    return Listed(set);
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
        const std::string folder = sim::Utf8(sim::AutoRunOnCard(check.processor));
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
    const bool crashed = std::any_of(devices.begin(), devices.end(), [](const DeviceCheck& d) {
        return d.crashed && !d.judgements[RunsClean].Expected();
    });
    const bool fails = std::any_of(devices.begin(), devices.end(), [](const DeviceCheck& d) {
        return !d.Passes() && !d.FailsAsExpected();
    });
    return crashed ? CheckCrashed : fails ? CheckFails : CheckPasses;
}

std::string Mark(const Judgement& judgement) {
    const std::string mark = MarkOf(judgement.verdict);
    return (judgement.Expected() ? "(" + mark + ")" : mark) +
           (judgement.assumes.empty() ? "" : "?");
}

int Assumed(const std::vector<DeviceCheck>& devices) {
    int assumed = 0;
    for (const DeviceCheck& check : devices) {
        for (const Judgement& j : check.judgements) {
            assumed += j.assumes.empty() ? 0 : 1;
        }
    }
    return assumed;
}

std::string RestsOn(const Assumption& assumption) {
    return "rests on an assumption: " + assumption.assumed + "; see docs/devices.md";
}

void WriteCheckTable(std::ostream& out, const CheckRun& run) {
    out << Escaped((Programs(run).size() == 1 ? "The program: " : "The programs: ") +
                   ProgramText(run) + ".")
        << "\n";
    if (!run.set.empty()) {
        out << Escaped("Set on every device: " + SetText(run.set) +
                       " (--set), in place of the profiles' facts.")
            << "\n";
    }
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
    int expected = 0;
    for (const DeviceCheck& check : run.devices) {
        std::string row = Padded(check.device, check.device.size(), first);
        for (int c = 0; c < Columns; ++c) {
            const std::size_t width = std::string(Heading(Column(c))).size() + 2;
            const std::string mark = Mark(check.judgements[c]);
            row += c + 1 < Columns ? Padded(mark, Width(mark), width) : mark;
        }
        out << Escaped(row) << "\n";
        WriteReasons(out, check);
        passing += check.Passes() ? 1 : 0;
        expected += check.FailsAsExpected() ? 1 : 0;
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
    for (const Unfailing& line : run.unfailing) {
        out << Escaped("Expected but not failing: " + line.device + " " + Heading(line.column) +
                       " (" + run.expect + ", line " + std::to_string(line.line) + ": " +
                       line.reason + ") " +
                       (line.verdict == Verdict::Pass ? "passes" : "is not judged") +
                       " now; the line can go.")
            << "\n";
    }
    std::string summary = std::to_string(passing) + " of " + std::to_string(run.devices.size()) +
                          (run.devices.size() == 1 ? " device passes" : " devices pass");
    if (expected > 0) {
        summary += ", and " + std::to_string(expected) + " fail" + (expected == 1 ? "s" : "") +
                   " only as expected (--expect)";
    }
    const int assumed = Assumed(run.devices);
    if (assumed > 0) {
        summary +=
            "; " + std::to_string(assumed) +
            (assumed == 1 ? " verdict rests on an assumption" : " verdicts rest on assumptions") +
            " (?)";
    }
    out << summary << ".\n";
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
        device["failsAsExpected"] = check.FailsAsExpected();
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
            if (!j.remedies.empty()) {
                cell["toChange"] = j.remedies;
            }
            if (j.Expected()) {
                cell["expected"] = j.expected;
            }
            if (j.verdict != Verdict::NotJudged) {
                cell["restsOn"] = j.facts;
                cell["assumes"] = Json::array();
                for (const Assumption& a : j.assumes) {
                    cell["assumes"].push_back({{"fact", a.fact}, {"assumed", a.assumed}});
                }
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
    document["set"] = run.set;
    document["assumed"] = Assumed(run.devices);
    document["expectedNotFailing"] = Json::array();
    for (const Unfailing& line : run.unfailing) {
        document["expectedNotFailing"].push_back({{"line", line.line},
                                                  {"device", line.device},
                                                  {"judgement", Key(line.column)},
                                                  {"reason", line.reason},
                                                  {"verdict", VerdictName(line.verdict)}});
    }
    document["status"] = CheckStatus(run.devices);
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

} // namespace simtool
