#pragma once
// Peak-hold marks and clip lamps, on by default. Switched off, the meters
// move and paint exactly as without them (the timed harness measures what
// they cost); only the window thread touches the switch.
namespace meter {

inline bool& ExtrasSwitch()
{
    static bool on = true;
    return on;
}
inline bool ExtrasShown() { return ExtrasSwitch(); }
inline void SetExtrasShown(bool on) { ExtrasSwitch() = on; }

}  // namespace meter
