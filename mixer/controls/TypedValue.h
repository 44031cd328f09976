#pragma once
// Values typed into a read-out of the mixer surface, read without Qt.
//
// A level read-out takes a level in dB ("-12", "-12 dB", "-12.5dB"; whole dB
// by truncation toward zero, -63..0) or a pan or balance position for the
// slider beside it ("L20", "R5", "C"; L127..R127). The crossfader's read-out
// takes a position as a pan text or as the plain number it shows ("-20" is
// "L20"). Values outside the control's range are refused, not clamped: a
// mistyped "-120" must not land at the range's end. Letters are read in
// either case, blanks around the value are ignored.
#include <string>
#include <string_view>

namespace typed {

enum class Readout { Level, Crossfade };
enum class Target { Volume, Position };
enum class Problem { None, Empty, Unreadable, OutOfRange, NotHere };

struct Entry {
    Problem problem = Problem::None;
    Target target = Target::Volume;
    // Volume: whole dB, -63..0. Position: -127..127, negative to the left.
    int value = 0;
    bool ok() const { return problem == Problem::None; }
};

Entry Read(std::string_view text, Readout readout);

// A short note on what was wrong for the top bar (at most 40 characters,
// printable ASCII); empty for an entry without a problem.
std::string Note(const Entry& entry, std::string_view text, Readout readout);

} // namespace typed
