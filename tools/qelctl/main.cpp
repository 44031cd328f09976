#include <iostream>

#include "tools/qelctl/Qelctl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // The platform options (--rig, --rig=FILE, --driver, $QEL_PLATFORM) go
    // before qelctl's own grammar; without them, on Windows the drivers,
    // elsewhere the shared rig process when it runs, else a rig of this run's own.
    std::string error;
    auto host = qel::sim::CPlatformHost::fromArguments(args, error);
    if (!host) {
        std::cerr << "qelctl: " << error << "\n";
        return 2;
    }
    qel::tools::Qelctl tool(std::move(host));
    return tool.run(args, std::cin, std::cout, std::cerr);
}
