#pragma once
// A careful reading of a configuration file for people who write one: every
// problem the mixer panel would stumble over (or silently work around), each
// with the line of its element, and each model's layout as text.
#include <string>
#include <vector>

#include "mixer/app/XmlDom.h"

namespace qel::mixer {

class CConfigCheck {
public:
    struct Problem {
        int line = 0;
        std::string text;
    };

    explicit CConfigCheck(const XmlDocument& doc);

    const std::vector<Problem>& problems() const { return problems_; }
    // Printable lines: per model a heading, its strips, hidden options and crossfader.
    const std::vector<std::string>& layout() const { return layout_; }

    // Whether a control of the control section carries this id.
    static bool isControlSectionId(int id);

private:
    void checkDevice(const XmlNode& device);
    // An integer attribute naming a block or unit: 1..255 when present.
    void checkId(const XmlNode& owner, const char* attribute, bool required, const std::string& what);
    void add(const XmlNode& at, std::string text);

    std::vector<Problem> problems_;
    std::vector<std::string> layout_;
};

}  // namespace qel::mixer
