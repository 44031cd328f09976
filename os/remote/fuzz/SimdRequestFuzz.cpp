// The rig process's side: requests as clients send them.
#include "os/remote/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qel::os::remote::fuzz::run(data, size, {qel::os::remote::Kind::Request});
    return 0;
}
