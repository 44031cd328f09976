// The USB devices of the compiled-in rig, for rigs that want them too.
#include <cstdio>
#include <cstdlib>

#include "sim/RigFile.h"

namespace qel::sim {

void installDefaultUsbDevice(Rig& rig) {
    std::string error;
    const auto d = parseRig(defaultRigText(), error);
    if (!d) {
        std::fprintf(stderr, "compiled-in rig: %s\n", error.c_str());
        std::abort();
    }
    for (const RigDescription::UsbDevice& u : d->usb) rig.addUsbDevice(u.model, u.present);
}

}  // namespace qel::sim
