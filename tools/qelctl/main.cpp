#include <iostream>

#include "tools/qelctl/Qelctl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // The shared rig process when it runs, else a rig of this run's own.
    qel::tools::Qelctl tool(std::make_unique<qel::sim::CPlatformHost>());
    return tool.run(args, std::cin, std::cout, std::cerr);
}
