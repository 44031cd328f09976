#pragma once
// A scene: the surface of one device as a small text file, one value a line.
//
//   # Kavro Mixer Panel scene
//   model = Kavro 1814
//   input "Input 1/2" left volume = -12 dB
//   input "Input 1/2" left pan = -127
//   input "Input 1/2" left mute = off
//   input "Input 1/2" link = on
//   master volume = -6 dB
//   master balance = 0
//   headphone mute = off
//   crossfader = 0
//   clock source = Word Clock
//   digital mode = ADAT
//   sample rate = 48000
//
// Input strips are named by their caption, the outputs by their kind, so a
// scene of one model finds the matching controls of another. Reading checks
// the whole text first: a broken file yields a line-numbered error and no
// values at all.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::mixer {

enum class SceneStrip { None, Input, Master, Headphone };

enum class SceneControl {
    // Input strips, per side, and the link of the pair.
    LeftVolume, RightVolume, LeftPan, RightPan, LeftMute, RightMute, LeftSolo, RightSolo, Link,
    // Main out and headphones.
    Volume, Balance, Mute,
    // The surface.
    Crossfader, ClockSource, DigitalMode, SampleRate,
};

struct SceneValue {
    SceneStrip strip = SceneStrip::None;
    std::string caption;  // input strips only
    SceneControl control = SceneControl::Crossfader;
    // Volumes in whole dB (-63..0), pans, balances and the crossfader as
    // slider positions (-127..127), switches 0/1, the clock source as its
    // index (0 Device .. 4 PC), the digital mode as its index (0 SPDIF,
    // 1 ADAT, 2 SMUX, 3 HS-SPDIF), the sample rate in Hz.
    int value = 0;
    int line = 0;  // where it was read; 0 for values made in code

    static SceneValue Of(SceneStrip strip, std::string caption, SceneControl control, int value)
    {
        SceneValue v;
        v.strip = strip;
        v.caption = std::move(caption);
        v.control = control;
        v.value = value;
        return v;
    }

    // The key as the file writes it ("input \"Input 1/2\" left volume").
    std::string Key() const;
    // The value as the file writes it ("-12 dB", "on", "Word Clock").
    std::string ValueText() const;
};

struct Scene {
    std::string model;
    std::vector<SceneValue> values;
};

struct SceneError {
    int line = 0;
    std::string text;
    // "line 3: unknown key \"volum\"".
    std::string Message() const;
};

// The values a control takes, low..high.
void SceneRange(SceneControl control, int& low, int& high);
// Names of the clock sources and the digital modes by index.
const char* SceneClockSourceName(int index);
const char* SceneDigitalModeName(int index);

// Longest line and largest file a scene may have.
inline constexpr std::size_t kSceneMaxLine = 512;
inline constexpr std::size_t kSceneMaxBytes = 64 * 1024;
// Longest model name and input caption, in bytes, so that every line the
// writer makes stays within kSceneMaxLine.
inline constexpr std::size_t kSceneMaxName = 128;

// The text of a scene: a heading comment, the model, then the values in order.
std::string WriteScene(const Scene& scene);
// False, with the reason, when a name of the scene is too long to be read
// back; WriteSceneFile refuses such a scene.
bool SceneNamesFit(const Scene& scene, std::string& error);
// Parses a whole scene; on failure `scene` is left untouched.
bool ParseScene(std::string_view text, Scene& scene, SceneError& error);

// Files. Reading fails with line 0 when the file cannot be read or is too
// large; writing goes through a temporary file beside the target.
bool ReadSceneFile(const std::string& path, Scene& scene, SceneError& error);
bool WriteSceneFile(const std::string& path, const Scene& scene, std::string& error);

}  // namespace qel::mixer
