#pragma once
// One scenario of the fault matrix: a rig file (resources/rigs/faults/) whose
// timeline scripts the fault, and the harness's expectations, written in the
// same file as comment lines that start with "#:" (the rig loader skips them):
//
//   #: box TEXT          a message box with this text was shown (repeatable;
//                        "\n" in TEXT stands for a line break)
//   #: boxes none        no message box at all
//   #: tabs N            the mixer panel shows N tabs at the end
//   #: connected NAME no the mixer of NAME (its tab's display name) ends
//                        disconnected (yes: connected)
//   #: settle 2s         time after the last event before the checks (1.5 s)
//   #: programs mixer    the programs the scenario is for (mixer,
//                        control-panel; both when not said)
//   #: rig-process       the scenario runs on the rig process, which a
//                        script kills and starts again meanwhile
//                        (faults/rig-process.sh), not on a rig of the harness
//   #: user TIME ACTION  what the user does at TIME of the timeline:
//        hold TAB FADER POSITION   (mixer) presses the fader of the tab (its
//                                  index from 0) and drags it to POSITION;
//                                  FADER: main, phones, inN-left, inN-right
//        release                   (mixer) lets the held fader go
//        rate HZ                   (control panel) picks the sampling rate
//                                  on the Synchronisation page and applies it
//
// Parsing never trusts the text: an unknown or malformed directive is a
// line-numbered error, so a typo cannot drop an expectation.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::faults {

// One thing the user does: its time from the timeline's start and its words.
struct UserStep {
    std::chrono::milliseconds at{0};
    std::vector<std::string> words;
    std::size_t line = 0;
};

struct Expectations {
    std::vector<std::string> boxes;
    bool noBoxes = false;
    std::optional<int> tabs;
    std::vector<std::pair<std::string, bool>> connected;
    std::chrono::milliseconds settle{1500};
    std::vector<std::string> programs;  // empty: both
    std::vector<UserStep> steps;        // in time order
    bool rigProcess = false;
    std::string summary;  // the file's first comment line
};

// Whether the scenario is for `program` ("mixer" or "control-panel").
bool isFor(const Expectations& e, const std::string& program);

// The directives of a scenario file's text; nullopt with `error` set
// ("line N: ...") when one is malformed.
std::optional<Expectations> parseExpectations(std::string_view text, std::string& error);

}  // namespace qel::faults
