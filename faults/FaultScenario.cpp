// The "#:" directives of a fault scenario file.
#include "faults/FaultScenario.h"

#include "sim/RigCommands.h"
#include "sim/RigFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qel::faults {
namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// "2s", "1.5s", "250ms" as a rig file's timeline writes them; at most a minute.
std::optional<std::chrono::milliseconds> Duration(std::string_view t)
{
    const auto d = sim::parseRigTime(t);
    if (!d || *d > std::chrono::minutes(1)) return std::nullopt;
    return d;
}

std::vector<std::string> Words(std::string_view s)
{
    std::vector<std::string> out;
    while (!(s = Trim(s)).empty()) {
        const std::size_t cut = s.find(' ');
        out.emplace_back(s.substr(0, cut));
        s = cut == std::string_view::npos ? std::string_view() : s.substr(cut);
    }
    return out;
}

bool IsFader(const std::string& w)
{
    if (w == "main" || w == "phones") return true;
    // inN-left, inN-right with N from 1 to 99
    const std::size_t dash = w.find('-');
    if (w.rfind("in", 0) != 0 || dash == std::string::npos || dash < 3 || dash > 4) return false;
    for (std::size_t i = 2; i < dash; ++i)
        if (!std::isdigit(static_cast<unsigned char>(w[i]))) return false;
    const std::string side = w.substr(dash + 1);
    return w[2] != '0' && (side == "left" || side == "right");
}

// The action words of a "#: user" line, checked for shape; the program
// checks that the tab or fader exists when the step runs.
bool IsUserAction(const std::vector<std::string>& w)
{
    if (w.empty()) return false;
    if (w[0] == "hold")
        return w.size() == 4 && sim::rigNumber(w[1]) && *sim::rigNumber(w[1]) < 64 && IsFader(w[2]) &&
               sim::rigNumber(w[3]) && *sim::rigNumber(w[3]) <= 1000;
    if (w[0] == "release") return w.size() == 1;
    if (w[0] == "rate") return w.size() == 2 && sim::rigNumber(w[1]) && *sim::rigNumber(w[1]) <= 1000000;
    return false;
}

}  // namespace

std::optional<Expectations> parseExpectations(std::string_view text, std::string& error)
{
    Expectations e;
    std::size_t lineNo = 0, pos = 0;
    bool inHead = true;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(lineNo) + ": " + what;
            return std::nullopt;
        };
        if (line.rfind("#:", 0) != 0) {
            // The summary is the first comment line of the file's head.
            if (inHead && line.size() > 1 && line[0] == '#' && e.summary.empty()) e.summary = std::string(Trim(line.substr(1)));
            if (!line.empty() && line[0] != '#') inHead = false;
            continue;
        }
        const std::string_view body = Trim(line.substr(2));
        const std::size_t blank = body.find(' ');
        const std::string_view key = body.substr(0, blank);
        const std::string_view rest = blank == std::string_view::npos ? std::string_view() : Trim(body.substr(blank));
        if (key == "box") {
            if (rest.empty()) return fail("expected: #: box TEXT");
            // A box of two lines is written with "\n" between them.
            std::string box(rest);
            for (std::size_t at = 0; (at = box.find("\\n", at)) != std::string::npos; ++at) box.replace(at, 2, "\n");
            e.boxes.push_back(std::move(box));
        } else if (key == "boxes") {
            if (rest != "none") return fail("expected: #: boxes none");
            e.noBoxes = true;
        } else if (key == "tabs") {
            if (rest.empty() || rest.size() > 2 || !std::isdigit(static_cast<unsigned char>(rest[0])) ||
                (rest.size() == 2 && !std::isdigit(static_cast<unsigned char>(rest[1]))))
                return fail("expected: #: tabs N (0 to 99)");
            e.tabs = std::atoi(std::string(rest).c_str());
        } else if (key == "connected") {
            const std::size_t last = rest.rfind(' ');
            const std::string_view flag = last == std::string_view::npos ? rest : rest.substr(last + 1);
            const std::string_view name = last == std::string_view::npos ? std::string_view() : Trim(rest.substr(0, last));
            if (name.empty() || (flag != "yes" && flag != "no")) return fail("expected: #: connected NAME yes|no");
            e.connected.emplace_back(std::string(name), flag == "yes");
        } else if (key == "settle") {
            const auto d = Duration(rest);
            if (!d) return fail("expected: #: settle TIME (like 2s or 500ms, at most 60s)");
            e.settle = *d;
        } else if (key == "programs") {
            std::string_view words = rest;
            while (!words.empty()) {
                const std::size_t cut = words.find(' ');
                const std::string_view w = words.substr(0, cut);
                if (w != "mixer" && w != "control-panel") return fail("expected: #: programs mixer|control-panel ...");
                e.programs.emplace_back(w);
                words = cut == std::string_view::npos ? std::string_view() : Trim(words.substr(cut));
            }
            if (e.programs.empty()) return fail("expected: #: programs mixer|control-panel ...");
        } else if (key == "rig-process") {
            if (!rest.empty()) return fail("expected: #: rig-process");
            e.rigProcess = true;
        } else if (key == "user") {
            std::vector<std::string> words = Words(rest);
            const auto at = words.empty() ? std::nullopt : sim::parseRigTime(words.front());
            if (!at || *at > std::chrono::minutes(2))
                return fail("expected: #: user TIME ACTION (TIME like 1s or 500ms, at most 120s)");
            words.erase(words.begin());
            if (!IsUserAction(words))
                return fail("expected: #: user TIME hold TAB main|phones|inN-left|inN-right POSITION, "
                            "#: user TIME release or #: user TIME rate HZ");
            if (!e.steps.empty() && *at < e.steps.back().at) return fail("user steps out of time order");
            e.steps.push_back({*at, std::move(words), lineNo});
        } else {
            return fail("unknown directive '" + std::string(key) + "' (box, boxes, tabs, connected, settle, programs, rig-process, user)");
        }
    }
    if (e.noBoxes && !e.boxes.empty()) {
        error = "'#: boxes none' and '#: box' together";
        return std::nullopt;
    }
    return e;
}

bool isFor(const Expectations& e, const std::string& program)
{
    return e.programs.empty() || std::find(e.programs.begin(), e.programs.end(), program) != e.programs.end();
}

}  // namespace qel::faults
