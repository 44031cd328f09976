#include <iostream>

#include "tools/qelctl/Qelctl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    qel::tools::Qelctl tool;
    return tool.run(args, std::cin, std::cout, std::cerr);
}
