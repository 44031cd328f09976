// The compiled-in rig: resources/rigs/default.rig, the device models that the
// shipped configuration file describes, so that every program runs out of the box.
#include <cstdio>
#include <cstdlib>

#include "sim/RigFile.h"

namespace qel::sim {

std::unique_ptr<Rig> Rig::makeDefault() {
    std::string error;
    auto rig = loadRig(defaultRigText(), error);
    if (!rig) {
        // The text is part of the build; its test keeps it valid.
        std::fprintf(stderr, "compiled-in rig: %s\n", error.c_str());
        std::abort();
    }
    return rig;
}

}  // namespace qel::sim
