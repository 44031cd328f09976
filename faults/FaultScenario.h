#pragma once
// One scenario of the fault matrix: a rig file (resources/rigs/faults/) whose
// timeline scripts the fault, and the harness's expectations, written in the
// same file as comment lines that start with "#:" (the rig loader skips them):
//
//   #: box TEXT          a message box with this text was shown (repeatable)
//   #: boxes none        no message box at all
//   #: tabs N            the mixer panel shows N tabs at the end
//   #: connected NAME no the mixer of NAME (its tab's display name) ends
//                        disconnected (yes: connected)
//   #: settle 2s         time after the last event before the checks (1.5 s)
//   #: programs mixer    the programs the scenario is for (mixer,
//                        control-panel; both when not said)
//
// Parsing never trusts the text: an unknown or malformed directive is a
// line-numbered error, so a typo cannot drop an expectation.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::faults {

struct Expectations {
    std::vector<std::string> boxes;
    bool noBoxes = false;
    std::optional<int> tabs;
    std::vector<std::pair<std::string, bool>> connected;
    std::chrono::milliseconds settle{1500};
    std::vector<std::string> programs;  // empty: both
    std::string summary;  // the file's first comment line
};

// Whether the scenario is for `program` ("mixer" or "control-panel").
bool isFor(const Expectations& e, const std::string& program);

// The directives of a scenario file's text; nullopt with `error` set
// ("line N: ...") when one is malformed.
std::optional<Expectations> parseExpectations(std::string_view text, std::string& error);

}  // namespace qel::faults
