#pragma once
// Rig commands: the physical events and faults that a script (qelctl's `sim`
// lines), a client of the rig process or a rig file's timeline (`at 3s knob
// 1 3 0 -20`) injects into a rig, by words. Every event is spelled here once.
//
//   RigCommands commands;
//   const RigCommandResult r = commands.run(rig, {"knob", "1", "3", "0", "-20"});
//   if (!r.ok) print(r.error);   // a usage line or what the rig refused
//
// Every command checks its words whole (counts, ranges, device names) before
// it touches the rig; bad words give an error, never a partial action. Good
// words the rig cannot take now (a second unplug, a knob on a block the
// device lacks) are `refused`: the same words may act on another state.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/Rig.h"

namespace qel::sim {

struct RigCommandResult {
    bool ok = true;
    bool refused = false;  // on failure: the words were good, the rig's state refused them
    std::string output;  // lines the command prints ("sim plug 1")
    std::string error;   // on failure: the usage line or the reason
};

// A number word of a rig command: decimal or 0x-hex, the whole word, at most
// 32 bits (no sign, no blanks).
std::optional<std::uint32_t> rigNumber(const std::string& word);

class RigCommands {
public:
    using Words = std::vector<std::string>;

    // Called before a command whose driver event a listener should receive
    // (plug, unplug, event): qelctl opens its control handle there. An error
    // text fails `event`; plug and unplug go on without a listener.
    std::function<std::optional<std::string>()> openListener;

    // Runs one command (its name first) on `rig`.
    RigCommandResult run(Rig& rig, const Words& words) const;
    // Whether `name` is a rig command.
    static bool has(const std::string& name);
    // One usage line per command, in name order.
    std::vector<std::string> usages() const;
};

}  // namespace qel::sim
