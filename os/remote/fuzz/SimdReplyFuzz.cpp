// The program's side: replies and pushes as the rig process sends them.
#include "os/remote/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qel::os::remote::fuzz::run(data, size, {qel::os::remote::Kind::Reply, qel::os::remote::Kind::Push});
    return 0;
}
