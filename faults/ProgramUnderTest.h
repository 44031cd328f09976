#pragma once
// The program a fault scenario runs: the mixer panel's main window
// (FaultMixer.cpp) or the control panel's main frame (FaultControlPanel.cpp).
// The two programs cannot share one process (each has its own About box and
// application classes), so each is a harness program of its own over the
// same scenarios.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "faults/FaultScenario.h"

namespace qel::os {
class IOs;
}
namespace qel::sim {
class Rig;
}

namespace qel::faults {

// Where the program under test gets its platform seam: a rig in this
// process, or the rig process (qel-simd) over its socket.
class Platform {
public:
    virtual ~Platform() = default;
    // A seam for the program, or for a fresh look at the devices afterwards.
    virtual std::unique_ptr<os::IOs> Open() = 0;
    // The rig when it lives in this process (its state is read directly),
    // else null.
    virtual sim::Rig* InProcess() = 0;
};

class ProgramUnderTest {
public:
    virtual ~ProgramUnderTest() = default;
    // Opens the program's window on the rig; false when it ended at start-up.
    virtual bool Start() = 0;
    // Called every 250 ms while the fault runs: what a user does meanwhile
    // (the mixer shows its tabs in turn, the control panel its pages).
    virtual void Tick(int n) = 0;
    // One random thing a user does (the chaos soak): moves a fader or a pan,
    // shows another tab or page, picks a list row.
    virtual void UserAction(std::mt19937& random) = 0;
    // A scripted user step of the scenario ("#: user"): empty when done, else
    // why it could not be done.
    virtual std::string Perform(const std::vector<std::string>& words) = 0;
    // After the fault: what differs from the device or from what the scenario
    // expects, one text per fault found.
    virtual std::vector<std::string> Check(const Expectations& expect) = 0;
    // Closes the window and everything it opened on the rig.
    virtual void Stop() = 0;
};

// Which program this harness runs ("mixer" or "control-panel").
const char* ProgramName();
std::unique_ptr<ProgramUnderTest> MakeProgram(Platform& platform);

}  // namespace qel::faults
