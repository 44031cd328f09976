#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controlpanel/driver/Drv.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::cpl::test {

// A default rig and the control panel's driver object over it, opened.
class CplFixture : public ::testing::Test {
protected:
    CplFixture() : rig(sim::Rig::makeDefault()), os(*rig), drv(os) {}
    void SetUp() override {
        ASSERT_EQ(drv.openDriver(), QEL_OK);
        rig->takeTrace();
    }

    std::vector<std::string> trace() { return rig->takeTrace(); }
    template <std::size_t N>
    static std::string hex(const QelRecord<N>& r) { return os::hexText(r.bytes); }
    static std::string hexWord(std::uint32_t v) {
        std::uint8_t b[4];
        os::putLe32(b, 0, v);
        return os::hexText(b);
    }

    std::unique_ptr<sim::Rig> rig;
    os::SimOs os;
    CDrv drv;
};

}  // namespace qel::cpl::test
