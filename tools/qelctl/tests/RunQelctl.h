#pragma once
// Runs qelctl in-process on a fresh default rig and collects what it prints.
#include <sstream>
#include <string>
#include <vector>

#include "tools/qelctl/Qelctl.h"

namespace qel::tools::test {

struct Result {
    int code;
    std::string out, err;
};

inline Result run(const std::vector<std::string>& args, const std::string& script = "") {
    Qelctl tool;
    std::istringstream in(script);
    std::ostringstream out, err;
    const int code = tool.run(args, in, out, err);
    return {code, out.str(), err.str()};
}

}  // namespace qel::tools::test
