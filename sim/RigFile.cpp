// Rig files: the line parser, the checks made once the whole text is read,
// and building a rig from the parsed form.
#include "sim/RigFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include "os/NumberText.h"
#include "sim/RigCommands.h"
#include "sim/Requests.h"

namespace qel::sim {

namespace {

using L = RigFileLimits;

struct ParseError {
    std::size_t line;
    std::string message;
};

[[noreturn]] void failAt(std::size_t line, std::string message) { throw ParseError{line, std::move(message)}; }

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> split(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isSpace(s[i])) ++i;
        const std::size_t start = i;
        while (i < s.size() && !isSpace(s[i])) ++i;
        if (i > start) words.push_back(s.substr(start, i - start));
    }
    return words;
}

// The text after the first `skip` words, trimmed.
std::string_view restAfter(std::string_view s, std::size_t skip) {
    std::size_t i = 0;
    for (std::size_t w = 0; w < skip; ++w) {
        while (i < s.size() && isSpace(s[i])) ++i;
        while (i < s.size() && !isSpace(s[i])) ++i;
    }
    return trim(s.substr(i));
}

std::optional<std::uint64_t> parseU64(std::string_view w) {
    int base = 10;
    if (w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X')) {
        base = 16;
        w.remove_prefix(2);
    }
    if (w.empty() || w.size() > 20) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : w) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return std::nullopt;
        if (v > (UINT64_MAX - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) return std::nullopt;
        v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    return v;
}

std::optional<double> parseNumber(std::string_view w) {
    if (w.empty() || w.size() > 32) return std::nullopt;
    for (const char c : w)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return std::nullopt;
    return os::parseNumber(w);
}

// Reads the words of one line, each read failing with the line's number.
class Words {
public:
    Words(std::size_t line, std::string_view text) : line_(line), text_(text), words_(split(text)) {}

    std::size_t line() const { return line_; }
    std::size_t size() const { return words_.size(); }
    std::string_view operator[](std::size_t i) const { return words_[i]; }
    std::string_view key() const { return words_[0]; }
    [[noreturn]] void fail(const std::string& message) const { failAt(line_, message); }

    void expect(std::size_t min, std::size_t max, const char* usage) const {
        if (words_.size() < min || words_.size() > max) fail(std::string("expected: ") + usage);
    }
    std::uint32_t u32(std::size_t i, const char* what, std::uint64_t max = UINT32_MAX) const {
        const auto v = parseU64(words_.at(i));
        if (!v || *v > max)
            fail(std::string(what) + " must be a number from 0 to " + std::to_string(max) + ", not '" +
                 std::string(words_.at(i)) + "'");
        return static_cast<std::uint32_t>(*v);
    }
    double number(std::size_t i, const char* what, double min, double max) const {
        const auto v = parseNumber(words_.at(i));
        if (!v || *v < min || *v > max) fail(std::string(what) + " must be a number, not '" + std::string(words_.at(i)) + "'");
        return *v;
    }
    bool flag(std::size_t i) const {
        const std::string_view w = words_.at(i);
        if (w == "yes" || w == "on" || w == "true" || w == "1" || w == "locked") return true;
        if (w == "no" || w == "off" || w == "false" || w == "0" || w == "unlocked") return false;
        fail("expected yes or no, not '" + std::string(w) + "'");
    }
    // The text after the first `skip` words: names keep their inner blanks.
    std::string text(std::size_t skip, const char* what) const {
        const std::string_view t = restAfter(text_, skip);
        if (t.size() > L::kMaxName) fail(std::string(what) + " is longer than " + std::to_string(L::kMaxName) + " bytes");
        return std::string(t);
    }
    std::vector<std::uint8_t> bytes(std::size_t from, std::size_t max, const char* what) const {
        if (words_.size() - from > max) fail(std::string(what) + ": at most " + std::to_string(max) + " bytes");
        std::vector<std::uint8_t> out;
        for (std::size_t i = from; i < words_.size(); ++i) {
            const std::string_view w = words_[i];
            const auto v = w.size() <= 2 ? parseU64(std::string("0x") + std::string(w)) : std::nullopt;
            if (!v) fail(std::string(what) + ": '" + std::string(w) + "' is not a hex byte");
            out.push_back(static_cast<std::uint8_t>(*v));
        }
        return out;
    }

private:
    std::size_t line_;
    std::string_view text_;
    std::vector<std::string_view> words_;
};

std::optional<FwMemory::Signal> signalKind(std::string_view w) {
    if (w == "silence") return FwMemory::Signal::Silence;
    if (w == "constant") return FwMemory::Signal::Constant;
    if (w == "sine") return FwMemory::Signal::Sine;
    if (w == "noise") return FwMemory::Signal::Noise;
    if (w == "peaks") return FwMemory::Signal::Peaks;
    return std::nullopt;
}

std::chrono::milliseconds parseTime(const Words& w, std::size_t i) {
    std::string_view t = w[i];
    double scale = 0;
    if (t.size() > 2 && t.substr(t.size() - 2) == "ms") {
        scale = 1;
        t.remove_suffix(2);
    } else if (t.size() > 1 && t.back() == 's') {
        scale = 1000;
        t.remove_suffix(1);
    }
    const auto v = scale > 0 ? parseNumber(t) : std::nullopt;
    const double ms = v ? std::round(*v * scale) : -1;
    if (!(ms >= 0 && ms <= static_cast<double>(L::kMaxTime.count())))
        w.fail("time must be like 2s, 1.5s or 250ms (at most 24 h), not '" + std::string(w[i]) + "'");
    return std::chrono::milliseconds(static_cast<std::int64_t>(ms));
}

std::int16_t dbToVolume(double db) { return static_cast<std::int16_t>(std::clamp(std::round(db * 256.0), -32768.0, 32767.0)); }

class Parser {
public:
    RigDescription run(std::string_view text) {
        if (text.size() > L::kMaxText) failAt(0, "the text is longer than " + std::to_string(L::kMaxText) + " bytes");
        std::size_t lineNo = 0;
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(pos, end - pos);
            pos = end + 1;
            ++lineNo;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > L::kMaxLine) failAt(lineNo, "line longer than " + std::to_string(L::kMaxLine) + " bytes");
            for (const char c : line)
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t') failAt(lineNo, "control character in the line");
            line = trim(line);
            if (line.empty() || line.front() == '#') continue;
            if (line.front() == '[') {
                section(lineNo, line);
                continue;
            }
            const Words w(lineNo, line);
            switch (section_) {
            case Section::None: w.fail("'" + std::string(w.key()) + "' outside a section");
            case Section::Driver: driverKey(w); break;
            case Section::FireWire: fwKey(w); break;
            case Section::Usb: usbKey(w); break;
            case Section::Timeline: timelineKey(w); break;
            }
        }
        finish();
        return std::move(d_);
    }

private:
    enum class Section { None, Driver, FireWire, Usb, Timeline };
    struct PendingDevice {
        std::size_t event;
        std::string name;
    };

    void section(std::size_t lineNo, std::string_view line) {
        if (line.back() != ']') failAt(lineNo, "a section header ends with ']'");
        const Words w(lineNo, line.substr(1, line.size() - 2));
        if (w.size() == 0) w.fail("empty section header");
        finishDevice();
        if (w.key() == "driver" || w.key() == "timeline") {
            w.expect(1, 1, "[driver] or [timeline]");
            section_ = w.key() == "driver" ? Section::Driver : Section::Timeline;
            return;
        }
        if (w.key() != "firewire" && w.key() != "usb")
            w.fail("unknown section '" + std::string(w.key()) + "' (driver, firewire ID, usb ID, timeline)");
        w.expect(2, 2, "[firewire ID] or [usb ID]");
        const std::uint32_t id = w.u32(1, "the device id");
        if (id == 0) w.fail("the device id must not be 0");
        if (d_.order.size() >= L::kMaxDevices) w.fail("more than " + std::to_string(L::kMaxDevices) + " devices");
        if (!ids_.insert(id).second) w.fail("device " + std::to_string(id) + " is described twice");
        deviceLine_ = lineNo;
        if (w.key() == "firewire") {
            section_ = Section::FireWire;
            d_.fw.emplace_back().model.id = id;
            d_.order.emplace_back(Bus::FireWire, d_.fw.size() - 1);
        } else {
            section_ = Section::Usb;
            d_.usb.emplace_back().model.id = id;
            d_.order.emplace_back(Bus::Usb, d_.usb.size() - 1);
        }
    }

    // ---------------------------------------------------------------- [driver]

    void driverKey(const Words& w) {
        const std::string_view k = w.key();
        if (k == "rates") {
            w.expect(2, 1 + L::kMaxRates, "rates HZ... (at most 8)");
            Rig::SampleRates& r = rates();
            r.possible.clear();
            for (std::size_t i = 1; i < w.size(); ++i) r.possible.push_back(w.u32(i, "a rate"));
        } else if (k == "rate") {
            w.expect(2, 2, "rate HZ");
            rates().current = w.u32(1, "the rate");
        } else if (k == "rate-word") {
            w.expect(2, 2, "rate-word N");
            rates().word0 = w.u32(1, "the rate word");
        } else if (k == "version") {
            w.expect(2, 13, "version B0 B1 ... (hex bytes, at most 12)");
            d_.version = w.bytes(1, 12, "version");
        } else if (k == "buffer") {
            w.expect(6, 7, "buffer stream|asio|wdm MIN STEP CURRENT MAX [RESERVED]");
            static const char* const kinds[] = {"stream", "asio", "wdm"};
            const auto it = std::find(std::begin(kinds), std::end(kinds), w[1]);
            if (it == std::end(kinds)) w.fail("buffer kind must be stream, asio or wdm");
            BufferSetting b{w.u32(2, "the minimum"), w.u32(3, "the step"), w.u32(4, "the current depth"),
                            w.u32(5, "the maximum"), w.size() == 7 ? w.u32(6, "the reserved word") : 0};
            d_.buffers[static_cast<std::size_t>(it - std::begin(kinds))] = b;
        } else if (k == "dropouts") {
            w.expect(2, 2, "dropouts N");
            d_.dropouts = w.u32(1, "the drop-out count");
        } else if (k == "asio-name-option") {
            w.expect(2, 2, "asio-name-option N");
            d_.asioNameOption = w.u32(1, "the option");
        } else if (k == "wdm-in-use") {
            w.expect(2, 2, "wdm-in-use yes|no");
            d_.wdmInUse = w.flag(1);
        } else {
            w.fail("unknown key '" + std::string(k) + "' in [driver]");
        }
    }

    Rig::SampleRates& rates() {
        if (!d_.rates) d_.rates = Rig::SampleRates{1, 48000, {44100, 48000, 88200, 96000, 176400, 192000}};
        return *d_.rates;
    }

    // ---------------------------------------------------------------- shared device keys

    // Keys both buses take; false when `w` is none of them.
    bool commonKey(const Words& w, std::uint32_t& rank, std::vector<SyncModeEntry>& sync, std::size_t& current,
                   bool& present) {
        const std::string_view k = w.key();
        if (k == "rank") {
            w.expect(2, 2, "rank N");
            rank = w.u32(1, "the rank");
        } else if (k == "sync") {
            if (w.size() < 4) w.fail("expected: sync MODE CODE NAME");
            if (sync.size() >= L::kMaxSyncModes) w.fail("more than " + std::to_string(L::kMaxSyncModes) + " sync modes");
            sync.push_back(SyncModeEntry{w.u32(1, "the mode"), w.u32(2, "the code"), w.text(3, "the name")});
        } else if (k == "current-sync") {
            w.expect(2, 2, "current-sync INDEX");
            current = w.u32(1, "the index", L::kMaxSyncModes);
            currentSyncLine_ = w.line();
        } else if (k == "present") {
            w.expect(2, 2, "present yes|no");
            present = w.flag(1);
        } else {
            return false;
        }
        return true;
    }

    // `input 1|2 locked|unlocked RATECODE`
    std::pair<int, FwFirmware::DigitalInput> input(const Words& w) {
        w.expect(4, 4, "input 1|2 locked|unlocked RATECODE");
        const std::uint32_t n = w.u32(1, "the input", 2);
        if (n == 0) w.fail("the input is 1 (coaxial) or 2 (optical)");
        return {static_cast<int>(n), FwFirmware::DigitalInput{w.flag(2), static_cast<std::uint8_t>(w.u32(3, "the rate code", 255))}};
    }

    // ---------------------------------------------------------------- [firewire ID]

    void fwKey(const Words& w) {
        RigDescription::FwDevice& f = d_.fw.back();
        FwDeviceModel& m = f.model;
        if (commonKey(w, m.rank, m.syncModes, m.currentSyncMode, f.present)) return;
        const std::string_view k = w.key();
        if (k == "name") m.deviceName = w.text(1, "the name");
        else if (k == "serial") m.serial = w.text(1, "the serial");
        else if (k == "vendor") m.vendor = w.text(1, "the vendor");
        else if (k == "model") m.model = w.text(1, "the model");
        else if (k == "extra") m.extra = w.text(1, "the extra text");
        else if (k == "capabilities") {
            w.expect(2, 2, "capabilities N");
            m.capabilities = w.u32(1, "the capabilities");
        } else if (k == "blocks") {
            w.expect(1, 256, "blocks ID... (at most 255)");
            f.blocks.clear();
            for (std::size_t i = 1; i < w.size(); ++i) {
                const auto b = static_cast<std::uint8_t>(w.u32(i, "a block id", 255));
                if (std::find(f.blocks.begin(), f.blocks.end(), b) != f.blocks.end()) w.fail("block " + std::to_string(b) + " twice");
                f.blocks.push_back(b);
            }
        } else if (k == "company") {
            w.expect(2, 2, "company ID");
            f.companyId = w.u32(1, "the company id", 0xFFFFFF);
        } else if (k == "meters") {
            w.expect(2, 2, "meters N");
            f.meters = w.u32(1, "the meter count", L::kMaxMeters);
        } else if (k == "hsci-version") {
            w.expect(2, 2, "hsci-version N");
            f.hsciVersion = static_cast<std::uint8_t>(w.u32(1, "the version", 255));
        } else if (k == "meter") {
            if (f.signals.size() >= L::kMaxMeters) w.fail("more than " + std::to_string(L::kMaxMeters) + " meter lines");
            f.signals.push_back(meter(w));
            meterLines_.push_back(w.line());
        } else if (k == "volume") {
            w.expect(4, 4, "volume BLOCK CHANNEL DB");
            const auto block = static_cast<std::uint8_t>(w.u32(1, "the block", 255));
            const auto ch = static_cast<std::uint8_t>(w.u32(2, "the channel", FwFirmware::kChannels - 1));
            if (f.volumes.size() >= 3 * 256) w.fail("too many volume lines");
            f.volumes.push_back({block, ch, w.number(3, "the volume", -200, 200)});
            volumeLines_.push_back(w.line());
        } else if (k == "input") {
            if (f.inputs.size() >= 16) w.fail("too many input lines");
            f.inputs.push_back(input(w));
        } else if (k == "channels" || k == "channel") {
            channels(w, f);
        } else if (k == "plug-state") {
            w.expect(3, 4, "plug-state audio-out|audio-in|synch-out|synch-in STATE [CODE]");
            static const char* const plugs[] = {"audio-out", "audio-in", "synch-out", "synch-in"};
            const auto it = std::find(std::begin(plugs), std::end(plugs), w[1]);
            if (it == std::end(plugs)) w.fail("the plug is audio-out, audio-in, synch-out or synch-in");
            if (f.plugs.size() >= kPlugCount * 4) w.fail("too many plug-state lines");
            f.plugs.push_back({static_cast<std::uint32_t>(it - std::begin(plugs)), w.u32(2, "the state"),
                               w.size() == 4 ? w.u32(3, "the code") : 0});
        } else {
            w.fail("unknown key '" + std::string(k) + "' in [firewire " + std::to_string(m.id) + "]");
        }
    }

    // `meter INDEX|all silence|constant|sine|noise|peaks [LEVEL]` or `meter INDEX|all raw WORD`
    RigDescription::Meter meter(const Words& w) {
        w.expect(3, 4, "meter INDEX|all SIGNAL [LEVEL] or meter INDEX|all raw WORD");
        RigDescription::Meter m;
        if (w[1] == "all") m.all = true;
        else m.index = w.u32(1, "the meter", L::kMaxMeters - 1);
        if (w[2] == "raw") {
            if (w.size() != 4) w.fail("expected: meter INDEX|all raw WORD");
            m.raw = w.u32(3, "the meter word");
            m.signal = FwMemory::Signal::Constant;
            return m;
        }
        const auto kind = signalKind(w[2]);
        if (!kind) w.fail("the signal is silence, constant, sine, noise, peaks or raw");
        m.signal = *kind;
        m.level = w.size() == 4 ? w.number(3, "the level (percent, 0 to 200)", 0, 200) : 100;
        return m;
    }

    // `channels in|out COUNT NAME` ({n} in NAME counts from 1) or `channel in|out NAME`
    void channels(const Words& w, RigDescription::FwDevice& f) {
        const bool many = w.key() == "channels";
        if (w.size() < (many ? 4u : 3u)) w.fail(many ? "expected: channels in|out COUNT NAME" : "expected: channel in|out NAME");
        if (w[1] != "in" && w[1] != "out") w.fail("the direction is in or out");
        const ChannelDirection dir = w[1] == "in" ? ChannelDirection::In : ChannelDirection::Out;
        const std::uint32_t count = many ? w.u32(2, "the count", L::kMaxChannels) : 1;
        const std::string pattern = w.text(many ? 3 : 2, "the name");
        if (channelCount_ + count > L::kMaxChannels) w.fail("more than " + std::to_string(L::kMaxChannels) + " channels");
        channelCount_ += count;
        for (std::uint32_t i = 1; i <= count; ++i) {
            std::string name = pattern;
            if (many) {
                const std::size_t at = name.find("{n}");
                if (at != std::string::npos) name.replace(at, 3, std::to_string(i));
            }
            f.channels.push_back({dir, std::move(name), {}});
        }
    }

    // ---------------------------------------------------------------- [usb ID]

    void usbKey(const Words& w) {
        RigDescription::UsbDevice& u = d_.usb.back();
        UsbDeviceModel& m = u.model;
        if (commonKey(w, m.rank, m.syncModes, m.currentSyncMode, u.present)) return;
        const std::string_view k = w.key();
        if (k == "name") m.displayName = w.text(1, "the name");
        else if (k == "lookup") m.lookupName = w.text(1, "the look-up name");
        else if (k == "vendor") m.vendor = w.text(1, "the vendor");
        else if (k == "model") m.model = w.text(1, "the model");
        else if (k == "text176") m.text176 = w.text(1, "the text");
        else if (k == "text432") m.text432 = w.text(1, "the text");
        else if (k == "word2" || k == "word3") {
            w.expect(2, 2, "word2 N or word3 N");
            (k == "word2" ? m.word2 : m.word3) = w.u32(1, "the word");
        } else if (k == "device-descriptor") {
            m.deviceDescriptor = w.bytes(1, 255, "device-descriptor");
        } else if (k == "config-descriptor") {
            m.configDescriptor = w.bytes(1, 255, "config-descriptor");
        } else if (k == "string") {
            if (w.size() < 2) w.fail("expected: string INDEX TEXT");
            m.strings[static_cast<std::uint8_t>(w.u32(1, "the string index", 255))] = w.text(2, "the string");
        } else if (k == "unit") {
            unit(w, m);
        } else if (k == "levels") {
            w.expect(1, 1 + L::kMaxUsbLevels, "levels WORD... (at most 64)");
            m.levels.clear();
            for (std::size_t i = 1; i < w.size(); ++i) m.levels.push_back(w.u32(i, "a level"));
        } else if (k == "input") {
            const auto [n, in] = input(w);
            m.inputs[static_cast<std::size_t>(n)] = UsbInputState{in.present, in.rateCode};
        } else if (k == "mode") {
            w.expect(2, 2, "mode N");
            m.mode = static_cast<std::uint8_t>(w.u32(1, "the mode", 255));
        } else {
            w.fail("unknown key '" + std::string(k) + "' in [usb " + std::to_string(m.id) + "]");
        }
    }

    // `unit ID` or `unit ID volume|mute|balance V0 V1 V2` (volume and balance in dB)
    void unit(const Words& w, UsbDeviceModel& m) {
        if (w.size() != 2 && w.size() != 6) w.fail("expected: unit ID [volume|mute|balance V0 V1 V2]");
        const auto id = static_cast<std::uint8_t>(w.u32(1, "the unit id", 255));
        UsbFeatureUnit& u = m.units[id];
        if (w.size() == 2) return;
        for (std::size_t c = 0; c < 3; ++c) {
            if (w[2] == "volume") u.volume[c] = dbToVolume(w.number(3 + c, "the volume", -200, 200));
            else if (w[2] == "balance") u.balance[c] = dbToVolume(w.number(3 + c, "the balance", -200, 200));
            else if (w[2] == "mute") u.mute[c] = w.flag(3 + c) ? 1 : 0;
            else w.fail("a unit sets volume, mute or balance");
        }
    }

    // ---------------------------------------------------------------- [timeline]

    void timelineKey(const Words& w) {
        if (w.key() != "at" || w.size() < 3) w.fail("expected: at TIME EVENT ...");
        if (d_.timeline.size() >= L::kMaxEvents) w.fail("more than " + std::to_string(L::kMaxEvents) + " events");
        RigEvent e;
        e.at = parseTime(w, 1);
        e.line = w.line();
        const std::string_view what = w[2];
        using K = RigEvent::Kind;
        std::optional<std::string> device;  // the device word, resolved at the end
        auto args = [&](std::size_t n, const char* usage) { w.expect(3 + n, 3 + n, usage); };
        if (what == "plug" || what == "unplug") {
            args(1, "at TIME plug|unplug DEVICE");
            e.kind = what == "plug" ? K::Plug : K::Unplug;
            device = w[3];
        } else if (what == "reenumerate") {
            args(2, "at TIME reenumerate DEVICE MS");
            // Leaves the bus now, comes back after MS.
            e.kind = K::Unplug;
            device = w[3];
            const std::uint32_t ms = w.u32(4, "the time away (ms)", 60000);
            RigEvent back = e;
            back.kind = K::Plug;
            back.at += std::chrono::milliseconds(ms);
            if (back.at > L::kMaxTime) w.fail("the device comes back after 24 h");
            if (d_.timeline.size() + 2 > L::kMaxEvents) w.fail("more than " + std::to_string(L::kMaxEvents) + " events");
            add(e, device);
            add(back, device);
            return;
        } else if (what == "bus-reset" || what == "streaming-restarted" || what == "configuration-changed") {
            args(0, "at TIME bus-reset|streaming-restarted|configuration-changed");
            e.kind = K::DriverEvent;
            e.value = what == "bus-reset" ? 1 : what == "streaming-restarted" ? 2 : 3;
        } else if (what == "event") {
            args(1, "at TIME event CODE");
            e.kind = K::DriverEvent;
            e.value = w.u32(3, "the event code");
        } else if (what == "knob") {
            args(4, "at TIME knob DEVICE BLOCK CHANNEL DB");
            e.kind = K::Knob;
            device = w[3];
            e.index = w.u32(4, "the block", 255);
            e.channel = w.u32(5, "the channel", FwFirmware::kChannels - 1);
            e.number = w.number(6, "the volume", -200, 200);
        } else if (what == "input") {
            args(4, "at TIME input DEVICE 1|2 locked|unlocked RATECODE");
            e.kind = K::DigitalInput;
            device = w[3];
            e.index = w.u32(4, "the input", 2);
            if (e.index == 0) w.fail("the input is 1 (coaxial) or 2 (optical)");
            e.flag = w.flag(5);
            e.value = w.u32(6, "the rate code", 255);
        } else if (what == "message") {
            args(2, "at TIME message DEVICE BYTE");
            e.kind = K::Message;
            device = w[3];
            e.value = w.u32(4, "the message", 255);
        } else if (what == "signal") {
            w.expect(6, 7, "at TIME signal DEVICE METER|all silence|constant|sine|noise|peaks [LEVEL]");
            e.kind = K::Signal;
            device = w[3];
            e.index = w[4] == "all" ? ~0u : w.u32(4, "the meter", L::kMaxMeters - 1);
            const auto kind = signalKind(w[5]);
            if (!kind) w.fail("the signal is silence, constant, sine, noise or peaks");
            e.signal = *kind;
            e.number = w.size() == 7 ? w.number(6, "the level (percent, 0 to 200)", 0, 200) : 100;
        } else if (what == "fail") {
            args(3, "at TIME fail REQUEST COUNT STATUS");
            e.kind = K::Fail;
            e.value = request(w, 3, false);
            e.count = w.u32(4, "the count");
            e.status = w.u32(5, "the status");
        } else if (what == "delay") {
            args(2, "at TIME delay REQUEST|all MS");
            e.kind = K::Delay;
            e.value = request(w, 3, true);
            e.count = w.u32(4, "the delay (ms)", 60000);
        } else if (what == "wdm-in-use") {
            args(1, "at TIME wdm-in-use yes|no");
            e.kind = K::WdmInUse;
            e.flag = w.flag(3);
        } else if (what == "dropouts") {
            args(1, "at TIME dropouts N");
            e.kind = K::Dropouts;
            e.value = w.u32(3, "the drop-out count");
        } else if (what == "avc-reply") {
            args(2, "at TIME avc-reply DEVICE RESPONSECODE");
            e.kind = K::AvcReply;
            device = w[3];
            e.value = w.u32(4, "the response code", 255);
        } else if (what == "hsci") {
            w.expect(5, 6, "at TIME hsci DEVICE ok|endless|broken|short|zero-step [HEADER]|version N");
            e.kind = K::Hsci;
            device = w[3];
            hsci(w, e);
        } else if (what == "notify-response") {
            if (w.size() < 5) w.fail("expected: at TIME notify-response DEVICE B0 B1 ... (hex bytes)");
            e.kind = K::NotifyResponse;
            device = w[3];
            e.bytes = w.bytes(4, 512, "the frame");
        } else if (what == "answer") {
            if (w.size() < 4) w.fail("expected: at TIME answer REQUEST [B0 B1 ...] (hex bytes)");
            e.kind = K::Answer;
            e.value = request(w, 3, false);
            e.bytes = w.bytes(4, 4096, "the answer");
        } else if (what == "version") {
            w.expect(4, 15, "at TIME version B0 B1 ... (hex bytes, at most 12)");
            e.kind = K::Version;
            e.bytes = w.bytes(3, 12, "version");
        } else if (what == "usb-descriptor") {
            args(2, "at TIME usb-descriptor DEVICE LENGTH");
            e.kind = K::UsbDescriptor;
            device = w[3];
            e.count = w.u32(4, "the length", 255);
        } else if (RigCommands::has(std::string(what))) {
            // Checked against the described rig once the whole file is read.
            e.kind = K::Command;
            for (std::size_t i = 2; i < w.size(); ++i) e.words.emplace_back(w[i]);
        } else {
            w.fail("unknown event '" + std::string(what) + "'");
        }
        add(e, device);
    }

    // `ok`, `endless`, `broken|short|zero-step [HEADER]` (header 1 unless given), `version N`
    static void hsci(const Words& w, RigEvent& e) {
        using F = FwMemory::Fault;
        const std::string_view what = w[4];
        const bool arg = w.size() == 6;
        if (what == "ok" || what == "endless") {
            if (arg) w.fail("'" + std::string(what) + "' takes no number");
            e.value = static_cast<std::uint32_t>(what == "ok" ? F::None : F::Endless);
        } else if (what == "broken" || what == "short" || what == "zero-step") {
            e.value = static_cast<std::uint32_t>(what == "broken" ? F::ReadFails : what == "short" ? F::ReadShort : F::ZeroStep);
            e.index = arg ? w.u32(5, "the header", L::kMaxMeters + 8) : 1;
        } else if (what == "version") {
            if (!arg) w.fail("expected: hsci DEVICE version N");
            e.value = ~0u;
            e.index = w.u32(5, "the version", 255);
        } else {
            w.fail("the HSCI fault is ok, endless, broken, short, zero-step or version");
        }
    }

    static std::uint32_t request(const Words& w, std::size_t i, bool allowAll) {
        if (allowAll && w[i] == "all") return 0;
        const std::string name(w[i]);
        std::uint32_t code = requestCode(name);
        if (code == 0) {
            const auto v = parseU64(w[i]);
            if (v && *v != 0 && *v <= UINT32_MAX) code = static_cast<std::uint32_t>(*v);
        }
        if (code == 0) w.fail("unknown request '" + name + "'");
        return code;
    }

    void add(const RigEvent& e, const std::optional<std::string>& device) {
        if (device) pending_.push_back({d_.timeline.size(), *device});
        d_.timeline.push_back(e);
    }

    // ---------------------------------------------------------------- checks at the end

    void finishDevice() {
        if (section_ == Section::FireWire) {
            const RigDescription::FwDevice& f = d_.fw.back();
            checkSync(f.model.syncModes.size(), f.model.currentSyncMode);
            for (std::size_t i = 0; i < f.signals.size(); ++i)
                if (!f.signals[i].all && f.signals[i].index >= f.meters)
                    failAt(meterLines_[i], "meter " + std::to_string(f.signals[i].index) + " of " + std::to_string(f.meters));
            for (std::size_t i = 0; i < f.volumes.size(); ++i)
                if (std::find(f.blocks.begin(), f.blocks.end(), f.volumes[i].block) == f.blocks.end())
                    failAt(volumeLines_[i], "block " + std::to_string(f.volumes[i].block) + " is not in the blocks line");
        } else if (section_ == Section::Usb) {
            const RigDescription::UsbDevice& u = d_.usb.back();
            checkSync(u.model.syncModes.size(), u.model.currentSyncMode);
        }
        meterLines_.clear();
        volumeLines_.clear();
        currentSyncLine_ = 0;
    }

    void checkSync(std::size_t modes, std::size_t current) const {
        if (current != 0 && current >= modes)
            failAt(currentSyncLine_ != 0 ? currentSyncLine_ : deviceLine_,
                   "current-sync " + std::to_string(current) + " but " + std::to_string(modes) + " sync modes");
    }

    void finish() {
        finishDevice();
        for (const PendingDevice& p : pending_) {
            RigEvent& e = d_.timeline[p.event];
            if (!resolve(p.name, e)) failAt(e.line, "unknown device '" + p.name + "'");
            using K = RigEvent::Kind;
            const bool fwOnly = e.kind == K::Knob || e.kind == K::Signal || e.kind == K::AvcReply ||
                                e.kind == K::Hsci || e.kind == K::NotifyResponse;
            if (fwOnly && e.bus != Bus::FireWire) failAt(e.line, "'" + p.name + "' is not a FireWire device");
            if (e.kind == K::UsbDescriptor && e.bus != Bus::Usb) failAt(e.line, "'" + p.name + "' is not a USB device");
        }
        std::stable_sort(d_.timeline.begin(), d_.timeline.end(),
                         [](const RigEvent& a, const RigEvent& b) { return a.at < b.at; });
        checkCommands();
    }

    // The rig commands of the timeline, run in time order on a rig built from
    // the description: their words and devices are checked as when they fire.
    void checkCommands() const {
        const bool any = std::any_of(d_.timeline.begin(), d_.timeline.end(),
                                     [](const RigEvent& e) { return e.kind == RigEvent::Kind::Command; });
        if (!any) return;
        Rig scratch;
        buildRig(d_, scratch);
        const RigCommands commands;
        for (const RigEvent& e : d_.timeline) {
            if (e.kind != RigEvent::Kind::Command) continue;
            const RigCommandResult r = commands.run(scratch, e.words);
            if (!r.ok) failAt(e.line, r.error);
        }
    }

    // By id, then by any of the device's names.
    bool resolve(const std::string& name, RigEvent& e) const {
        if (const auto id = parseU64(name); id && *id <= UINT32_MAX) {
            for (const auto& f : d_.fw)
                if (f.model.id == *id) return e.bus = Bus::FireWire, e.device = f.model.id, true;
            for (const auto& u : d_.usb)
                if (u.model.id == *id) return e.bus = Bus::Usb, e.device = u.model.id, true;
        }
        for (const auto& f : d_.fw)
            if (f.model.deviceName == name || f.model.serial == name) return e.bus = Bus::FireWire, e.device = f.model.id, true;
        for (const auto& u : d_.usb)
            if (u.model.displayName == name || u.model.lookupName == name) return e.bus = Bus::Usb, e.device = u.model.id, true;
        return false;
    }

    RigDescription d_;
    Section section_ = Section::None;
    std::set<std::uint32_t> ids_;
    std::vector<PendingDevice> pending_;
    std::vector<std::size_t> meterLines_, volumeLines_;
    std::size_t currentSyncLine_ = 0, deviceLine_ = 0;
    std::size_t channelCount_ = 0;
};

}  // namespace

std::optional<RigDescription> parseRig(std::string_view text, std::string& error) {
    try {
        return Parser().run(text);
    } catch (const ParseError& e) {
        error = e.line == 0 ? e.message : "line " + std::to_string(e.line) + ": " + e.message;
        return std::nullopt;
    }
}

void buildRig(const RigDescription& d, Rig& rig) {
    for (const auto& [bus, index] : d.order) {
        if (bus == Bus::Usb) {
            rig.addUsbDevice(d.usb[index].model, d.usb[index].present);
            continue;
        }
        const RigDescription::FwDevice& f = d.fw[index];
        auto firmware = std::make_shared<FwFirmware>(f.blocks, f.companyId);
        FwMemory& memory = firmware->memory();
        memory = FwMemory(f.meters);
        memory.setVersion(f.hsciVersion);
        for (const RigDescription::Meter& m : f.signals) {
            const std::uint32_t first = m.all ? 0 : m.index, last = m.all ? f.meters : m.index + 1;
            for (std::uint32_t i = first; i < last; ++i) {
                if (m.raw) memory.setRawMeter(i, *m.raw);
                else memory.setSignal(i, m.signal, m.level);
            }
        }
        for (const RigDescription::Volume& v : f.volumes) firmware->knob(v.block, v.channel, v.db);
        for (const auto& [n, in] : f.inputs) firmware->setDigitalInput(n, in.present, in.rateCode);
        FwDeviceModel model = f.model;
        model.firmware = std::move(firmware);
        rig.addFwDevice(std::move(model), f.present);
        if (f.channels.empty() && f.plugs.empty()) continue;
        rig.withControlPanel([&](ControlPanelState& s) {
            for (const RigDescription::Channel& c : f.channels) s.addChannel(f.model.id, c.direction, c.hardwareName, c.name);
            for (const RigDescription::Plug& p : f.plugs) s.setPlugState(f.model.id, p.plug, p.state, p.code);
        });
    }
    if (d.rates) rig.setSampleRates(*d.rates);
    if (d.version) rig.setVersionAnswer(*d.version);
    rig.withControlPanel([&](ControlPanelState& s) {
        for (std::size_t k = 0; k < d.buffers.size(); ++k)
            if (d.buffers[k]) s.buffers[k] = *d.buffers[k];
        if (d.dropouts) s.dropouts = *d.dropouts;
        if (d.asioNameOption) s.asioNameOption = *d.asioNameOption;
    });
    if (d.wdmInUse) rig.setWdmInUse(true);
}

std::unique_ptr<Rig> loadRig(std::string_view text, std::string& error, Timeline* timeline) {
    auto d = parseRig(text, error);
    if (!d) return nullptr;
    auto rig = std::make_unique<Rig>();
    buildRig(*d, *rig);
    if (timeline != nullptr) *timeline = std::move(d->timeline);
    return rig;
}

std::unique_ptr<Rig> loadRigFile(const std::string& path, std::string& error, Timeline* timeline) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return nullptr;
    }
    std::string text(L::kMaxText + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        error = path + ": cannot be read";
        return nullptr;
    }
    auto rig = loadRig(text, error, timeline);
    if (!rig) error = path + ": " + error;
    return rig;
}

// ---------------------------------------------------------------- events

bool applyRigEvent(Rig& rig, const RigEvent& e) {
    using K = RigEvent::Kind;
    const bool usb = e.bus == Bus::Usb;
    auto onFirmware = [&](const std::function<bool(FwFirmware&)>& fn) {
        bool ok = false;
        rig.withFwDevice(e.device, [&](FwDeviceModel& m) {
            if (FwFirmware* f = FwFirmware::of(m)) ok = fn(*f);
        });
        return ok;
    };
    auto onUsb = [&](const std::function<void(UsbDeviceModel&)>& fn) { return rig.withUsbDevice(e.device, fn); };
    switch (e.kind) {
    case K::Plug: return usb ? rig.usbArrive(e.device) : rig.plug(e.device);
    case K::Unplug: return usb ? rig.usbRemove(e.device) : rig.unplug(e.device);
    case K::DriverEvent: rig.queueDriverEvent(e.value); return true;
    case K::Knob:
        return !usb && onFirmware([&](FwFirmware& f) {
            return f.knob(static_cast<std::uint8_t>(e.index), static_cast<std::uint8_t>(e.channel), e.number);
        });
    case K::DigitalInput:
        if (usb) {
            return e.index >= 1 && e.index <= 2 && onUsb([&](UsbDeviceModel& m) {
                m.inputs[e.index] = UsbInputState{e.flag, static_cast<std::uint8_t>(e.value)};
            });
        }
        return onFirmware([&](FwFirmware& f) {
            return f.setDigitalInput(static_cast<int>(e.index), e.flag, static_cast<std::uint8_t>(e.value));
        });
    case K::Message:
        if (usb) {
            return onUsb([&](UsbDeviceModel& m) {
                constexpr std::size_t kMaxMessages = 256;
                if (m.messages.size() >= kMaxMessages) m.messages.pop_front();
                m.messages.push_back(static_cast<std::uint8_t>(e.value));
            });
        }
        return onFirmware([&](FwFirmware& f) {
            f.deviceMessage(static_cast<std::uint8_t>(e.value));
            return true;
        });
    case K::Signal:
        return !usb && onFirmware([&](FwFirmware& f) {
            FwMemory& m = f.memory();
            if (e.index != ~0u) return m.setSignal(e.index, e.signal, e.number);
            const std::uint32_t n = m.meterCount();
            for (std::uint32_t i = 0; i < n; ++i) m.setSignal(i, e.signal, e.number);
            return true;
        });
    case K::Fail: rig.failNext(e.value, e.count, e.status); return true;
    case K::Delay: rig.setDelay(e.value, e.count); return true;
    case K::WdmInUse: rig.setWdmInUse(e.flag); return true;
    case K::Dropouts:
        rig.withControlPanel([&](ControlPanelState& s) { s.dropouts = e.value; });
        return true;
    case K::AvcReply:
        return !usb && onFirmware([&](FwFirmware& f) {
            f.replyNext(static_cast<std::uint8_t>(e.value));
            return true;
        });
    case K::Hsci:
        return !usb && onFirmware([&](FwFirmware& f) {
            FwMemory& m = f.memory();
            if (e.value == ~0u) {
                m.setVersion(static_cast<std::uint8_t>(e.index));
                return true;
            }
            const auto fault = static_cast<FwMemory::Fault>(e.value);
            if (fault < FwMemory::Fault::None || fault > FwMemory::Fault::Endless) return false;
            m.setFault(fault, e.index);
            if (fault == FwMemory::Fault::None) m.setVersion(2);
            return true;
        });
    case K::NotifyResponse: return !usb && rig.injectNotifyResponse(e.device, e.bytes) > 0;
    case K::Answer: rig.answerNext(e.value, e.bytes); return true;
    case K::Version: rig.setVersionAnswer(e.bytes); return true;
    case K::UsbDescriptor:
        return usb && onUsb([&](UsbDeviceModel& m) {
            std::vector<std::uint8_t> b = m.deviceDescriptor;
            b.resize(std::min<std::size_t>(e.count, 255), 0);
            m.nextDescriptor = std::move(b);
        });
    case K::Command: return RigCommands().run(rig, e.words).ok;
    }
    return false;
}

}  // namespace qel::sim
