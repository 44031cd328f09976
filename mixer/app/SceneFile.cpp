#include "mixer/app/SceneFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

namespace qel::mixer {

namespace {

constexpr const char* kClockSources[] = {"Device", "Coax SPDIF", "Optical SPDIF", "Word Clock", "PC"};
constexpr const char* kDigitalModes[] = {"SPDIF", "ADAT", "SMUX", "HS-SPDIF"};
constexpr int kRates[] = {32000, 44100, 48000, 88200, 96000, 176400, 192000};

struct Part {
    SceneControl control;
    const char* text;
};
// The part of a key after the strip.
constexpr Part kInputParts[] = {
    {SceneControl::LeftVolume, "left volume"}, {SceneControl::RightVolume, "right volume"},
    {SceneControl::LeftPan, "left pan"},       {SceneControl::RightPan, "right pan"},
    {SceneControl::LeftMute, "left mute"},     {SceneControl::RightMute, "right mute"},
    {SceneControl::LeftSolo, "left solo"},     {SceneControl::RightSolo, "right solo"},
    {SceneControl::Link, "link"}};
constexpr Part kOutputParts[] = {
    {SceneControl::Volume, "volume"}, {SceneControl::Balance, "balance"}, {SceneControl::Mute, "mute"}};
constexpr Part kSurfaceParts[] = {{SceneControl::Crossfader, "crossfader"},
                                  {SceneControl::ClockSource, "clock source"},
                                  {SceneControl::DigitalMode, "digital mode"},
                                  {SceneControl::SampleRate, "sample rate"}};

bool IsSwitch(SceneControl c)
{
    switch (c) {
    case SceneControl::LeftMute:
    case SceneControl::RightMute:
    case SceneControl::LeftSolo:
    case SceneControl::RightSolo:
    case SceneControl::Link:
    case SceneControl::Mute:
        return true;
    default:
        return false;
    }
}

bool IsVolume(SceneControl c)
{
    return c == SceneControl::LeftVolume || c == SceneControl::RightVolume || c == SceneControl::Volume;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Collapses runs of blanks to one space.
std::string Simplified(std::string_view s)
{
    std::string out;
    bool blank = false;
    for (char c : Trim(s)) {
        if (c == ' ' || c == '\t') {
            blank = true;
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// The first byte of `line` that is no text: a control character other than
// a tab, or a broken UTF-8 sequence. npos when the line is text.
std::size_t JunkAt(std::string_view line)
{
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '\t' || (c >= 0x20 && c < 0x7F)) {
            ++i;
            continue;
        }
        if (c < 0x80)
            return i;
        const std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (length == 0 || (c >= 0xF5) || i + length > line.size())
            return i;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80)
                return i;
        i += length;
    }
    return std::string_view::npos;
}

std::optional<long long> Integer(std::string_view s)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return v;
}

// The control a key names, with its strip and caption; false when unknown.
bool ParseKey(std::string_view key, SceneValue& v)
{
    const std::string lower = Lower(key);
    for (const Part& p : kSurfaceParts)
        if (lower == p.text) {
            v.strip = SceneStrip::None;
            v.control = p.control;
            return true;
        }
    for (const auto& [prefix, strip] : {std::pair{"master ", SceneStrip::Master},
                                        std::pair{"headphone ", SceneStrip::Headphone}}) {
        const std::string_view pre(prefix);
        if (lower.compare(0, pre.size(), pre) != 0)
            continue;
        const std::string rest = Simplified(std::string_view(lower).substr(pre.size()));
        for (const Part& p : kOutputParts)
            if (rest == p.text) {
                v.strip = strip;
                v.control = p.control;
                return true;
            }
        return false;
    }
    // input "CAPTION" PART: the caption runs to the last quote.
    if (lower.compare(0, 6, "input ") != 0)
        return false;
    std::string_view rest = Trim(key.substr(6));
    const std::size_t close = rest.rfind('"');
    if (rest.empty() || rest.front() != '"' || close == 0 || close == std::string_view::npos)
        return false;
    const std::string caption = Simplified(rest.substr(1, close - 1));
    const std::string part = Simplified(Lower(rest.substr(close + 1)));
    if (caption.empty())
        return false;
    for (const Part& p : kInputParts)
        if (part == p.text) {
            v.strip = SceneStrip::Input;
            v.caption = caption;
            v.control = p.control;
            return true;
        }
    return false;
}

// Parses the value text of `v`'s control; on failure `error` says why.
bool ParseValue(std::string_view text, SceneValue& v, std::string& error)
{
    const std::string lower = Lower(text);
    if (IsSwitch(v.control)) {
        if (lower == "on" || lower == "1") {
            v.value = 1;
            return true;
        }
        if (lower == "off" || lower == "0") {
            v.value = 0;
            return true;
        }
        error = "\"" + std::string(text) + "\" is neither on nor off";
        return false;
    }
    if (v.control == SceneControl::ClockSource || v.control == SceneControl::DigitalMode) {
        const bool clock = v.control == SceneControl::ClockSource;
        const int count = clock ? 5 : 4;
        for (int i = 0; i < count; ++i)
            if (lower == Lower(clock ? kClockSources[i] : kDigitalModes[i])) {
                v.value = i;
                return true;
            }
        error = "\"" + std::string(text) + "\" is no " + (clock ? "clock source" : "digital mode") + " (";
        for (int i = 0; i < count; ++i)
            error += std::string(i ? ", " : "") + (clock ? kClockSources[i] : kDigitalModes[i]);
        error += ")";
        return false;
    }
    std::string_view number = text;
    const std::string_view unit = IsVolume(v.control) ? "db" : v.control == SceneControl::SampleRate ? "hz" : "";
    if (!unit.empty() && lower.size() > unit.size() &&
        std::string_view(lower).substr(lower.size() - unit.size()) == unit)
        number = Trim(number.substr(0, number.size() - unit.size()));
    const std::optional<long long> n = Integer(number);
    if (!n) {
        error = "\"" + std::string(text) + "\" is not a whole number";
        return false;
    }
    int low = 0;
    int high = 0;
    SceneRange(v.control, low, high);
    if (*n < low || *n > high) {
        error = std::to_string(*n) + " is out of range for \"" + v.Key() + "\" (" + std::to_string(low) + ".." +
                std::to_string(high) + ")";
        return false;
    }
    if (v.control == SceneControl::SampleRate && std::find(std::begin(kRates), std::end(kRates), *n) == std::end(kRates)) {
        error = std::to_string(*n) + " is no sample rate (32000, 44100, 48000, 88200, 96000, 176400, 192000)";
        return false;
    }
    v.value = static_cast<int>(*n);
    return true;
}

std::string NameTooLong(const char* what)
{
    return std::string("the ") + what + " is longer than " + std::to_string(kSceneMaxName) + " bytes";
}

// Line breaks and other control characters cannot be part of a line.
std::string CleanName(std::string s)
{
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return Simplified(s);
}

}  // namespace

void SceneRange(SceneControl control, int& low, int& high)
{
    low = 0;
    high = 1;
    switch (control) {
    case SceneControl::LeftVolume:
    case SceneControl::RightVolume:
    case SceneControl::Volume:
        low = -63;
        high = 0;
        break;
    case SceneControl::LeftPan:
    case SceneControl::RightPan:
    case SceneControl::Balance:
    case SceneControl::Crossfader:
        low = -127;
        high = 127;
        break;
    case SceneControl::ClockSource:
        high = 4;
        break;
    case SceneControl::DigitalMode:
        high = 3;
        break;
    case SceneControl::SampleRate:
        low = kRates[0];
        high = kRates[std::size(kRates) - 1];
        break;
    default:
        break;
    }
}

const char* SceneClockSourceName(int index)
{
    return index >= 0 && index < 5 ? kClockSources[index] : "";
}

const char* SceneDigitalModeName(int index)
{
    return index >= 0 && index < 4 ? kDigitalModes[index] : "";
}

std::string SceneValue::Key() const
{
    const auto part = [this](const auto& parts) -> std::string {
        for (const Part& p : parts)
            if (p.control == control)
                return p.text;
        return "?";
    };
    switch (strip) {
    case SceneStrip::Input:
        return "input \"" + caption + "\" " + part(kInputParts);
    case SceneStrip::Master:
        return "master " + part(kOutputParts);
    case SceneStrip::Headphone:
        return "headphone " + part(kOutputParts);
    case SceneStrip::None:
        break;
    }
    return part(kSurfaceParts);
}

std::string SceneValue::ValueText() const
{
    if (IsSwitch(control))
        return value ? "on" : "off";
    if (control == SceneControl::ClockSource)
        return SceneClockSourceName(value);
    if (control == SceneControl::DigitalMode)
        return SceneDigitalModeName(value);
    if (IsVolume(control))
        return std::to_string(value) + " dB";
    return std::to_string(value);
}

std::string SceneError::Message() const
{
    return line > 0 ? "line " + std::to_string(line) + ": " + text : text;
}

std::string WriteScene(const Scene& scene)
{
    std::string out = "# Kavro Mixer Panel scene\n";
    out += "model = " + CleanName(scene.model) + "\n";
    for (SceneValue v : scene.values) {
        v.caption = CleanName(v.caption);
        out += v.Key() + " = " + v.ValueText() + "\n";
    }
    return out;
}

bool ParseScene(std::string_view text, Scene& scene, SceneError& error)
{
    Scene parsed;
    bool haveModel = false;
    int modelLine = 0;
    std::map<std::string, int> seen;  // lower-case key -> line
    int lineNo = 0;
    const auto fail = [&error](int line, std::string message) {
        error = SceneError{line, std::move(message)};
        return false;
    };
    if (text.size() > kSceneMaxBytes)
        return fail(0, "the file is larger than " + std::to_string(kSceneMaxBytes / 1024) + " KiB");
    // A UTF-8 byte-order mark is allowed at the start.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        ++lineNo;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > kSceneMaxLine)
            return fail(lineNo, "the line is longer than " + std::to_string(kSceneMaxLine) + " characters");
        if (const std::size_t junk = JunkAt(line); junk != std::string_view::npos) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(line[junk]));
            return fail(lineNo, std::string("not text (byte ") + hex + " at column " + std::to_string(junk + 1) + ")");
        }
        line = Trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        // An input's key ends at the first '=' after its quoted caption
        // (which may hold one), any other key at the first '='.
        const bool input = Lower(line.substr(0, 6)) == "input ";
        const std::size_t close = input ? line.rfind('"') : std::string_view::npos;
        const std::size_t eq = line.find('=', close == std::string_view::npos ? 0 : close);
        if (eq == std::string_view::npos)
            return fail(lineNo, "no \"=\" between key and value");
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key.empty())
            return fail(lineNo, "no key before \"=\"");
        if (Lower(key) == "model") {
            if (haveModel)
                return fail(lineNo, "duplicate \"model\" (first on line " + std::to_string(modelLine) + ")");
            if (value.empty())
                return fail(lineNo, "empty model name");
            parsed.model = Simplified(value);
            if (parsed.model.size() > kSceneMaxName)
                return fail(lineNo, NameTooLong("model name"));
            haveModel = true;
            modelLine = lineNo;
            continue;
        }
        SceneValue v;
        v.line = lineNo;
        if (!ParseKey(key, v))
            return fail(lineNo, "unknown key \"" + std::string(key) + "\"");
        if (v.caption.size() > kSceneMaxName)
            return fail(lineNo, NameTooLong("caption"));
        if (value.empty())
            return fail(lineNo, "no value for \"" + v.Key() + "\"");
        const std::string normal = Lower(v.Key());
        if (const auto it = seen.find(normal); it != seen.end())
            return fail(lineNo, "duplicate \"" + v.Key() + "\" (first on line " + std::to_string(it->second) + ")");
        std::string why;
        if (!ParseValue(value, v, why))
            return fail(lineNo, why);
        seen.emplace(normal, lineNo);
        parsed.values.push_back(std::move(v));
    }
    if (!haveModel)
        return fail(std::max(lineNo, 1), "the scene names no model (a line \"model = NAME\")");
    scene = std::move(parsed);
    return true;
}

bool ReadSceneFile(const std::string& path, Scene& scene, SceneError& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = SceneError{0, "cannot open " + path};
        return false;
    }
    // One byte past the limit tells a file that is too large.
    std::string text(kSceneMaxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        error = SceneError{0, "cannot read " + path};
        return false;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return ParseScene(text, scene, error);
}

bool SceneNamesFit(const Scene& scene, std::string& error)
{
    if (CleanName(scene.model).size() > kSceneMaxName) {
        error = NameTooLong("model name");
        return false;
    }
    for (const SceneValue& v : scene.values)
        if (CleanName(v.caption).size() > kSceneMaxName) {
            error = NameTooLong("caption") + " (\"" + v.caption.substr(0, 32) + "...\")";
            return false;
        }
    return true;
}

bool WriteSceneFile(const std::string& path, const Scene& scene, std::string& error)
{
    if (!SceneNamesFit(scene, error))
        return false;
    const std::string text = WriteScene(scene);
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            error = "cannot write " + path;
            return false;
        }
    }
#ifdef _WIN32
    // There rename does not replace an existing file.
    std::remove(path.c_str());
#endif
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace qel::mixer
