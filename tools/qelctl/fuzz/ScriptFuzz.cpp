// Arbitrary text as a qelctl script on the built-in rig: every line is split,
// its numbers read and the command run. Errors are fine; a crash, a hang or
// an overread is not. Lines that wait by design (watch, meters, sim delay,
// sim reenumerate) or name files (config, scene) are left out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "tools/qelctl/Qelctl.h"

namespace {

constexpr std::size_t kMaxScript = 4096;
constexpr std::size_t kMaxLines = 48;

bool Runnable(const std::vector<std::string>& words)
{
    static const std::set<std::string> kSkipped = {"watch", "meters", "config", "scene"};
    if (words.empty() || kSkipped.count(words[0]) != 0)
        return false;
    return !(words[0] == "sim" && words.size() > 1 && (words[1] == "delay" || words[1] == "reenumerate"));
}

// The argument reader of whole numbers: what it accepts is decimal or 0x-hex
// digits only, and prints back as the same value.
void CheckWholeNumber(const std::string& word)
{
    const auto v = qel::tools::parseU32(word);
    if (!v)
        return;
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    for (std::size_t i = hex ? 2 : 0; i < word.size(); ++i) {
        const char c = word[i];
        const bool digit = (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        if (!digit)
            std::abort();
    }
    const auto again = qel::tools::parseU32(std::to_string(*v));
    if (!again || *again != *v)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxScript)
        return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string script, line;
    for (std::size_t n = 0; n < kMaxLines && std::getline(in, line); ++n) {
        std::string code = line;
        if (const auto hash = code.find('#'); hash != std::string::npos)
            code.erase(hash);
        const auto words = qel::tools::splitScriptLine(code);
        for (const std::string& w : words) {
            if (w.find(' ') != std::string::npos && line.find('"') == std::string::npos)
                std::abort();  // a blank inside a word needs quotes
            CheckWholeNumber(w);
        }
        if (Runnable(words))
            script += line + "\n";
    }
    qel::tools::Qelctl tool;
    std::istringstream lines(script);
    std::ostringstream out, err;
    tool.run({"-"}, lines, out, err);
    return 0;
}
