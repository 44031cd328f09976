// The "#:" directives of a fault scenario file.
#include "faults/FaultScenario.h"

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
            e.boxes.emplace_back(rest);
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
        } else {
            return fail("unknown directive '" + std::string(key) + "' (box, boxes, tabs, connected, settle, programs)");
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
