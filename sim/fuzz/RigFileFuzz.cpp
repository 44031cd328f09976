// Arbitrary text through the rig file parser, the rig it describes and its
// timeline: errors are fine, crashes, hangs and overreads are not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/RigFile.h"

using namespace qel::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto d = parseRig(text, error);
    if (!d) {
        if (error.empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    Rig rig;
    rig.setTraceEnabled(false);
    buildRig(*d, rig);
    for (const RigEvent& e : d->timeline) applyRigEvent(rig, e);
    return 0;
}
