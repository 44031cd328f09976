#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "device/QelContext.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::test {

// A default rig with the platform seam and a process context over it.
class SimFixture : public ::testing::Test {
protected:
    SimFixture() : rig(sim::Rig::makeDefault()), os(*rig), ctx(os) {}

    std::vector<std::string> trace() { return rig->takeTrace(); }
    static os::Guid fw() { return sim::fireWireGuid(); }

    std::unique_ptr<sim::Rig> rig;
    os::SimOs os;
    QelContext ctx;
};

}  // namespace qel::test
