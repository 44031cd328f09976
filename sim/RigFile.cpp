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
    const auto t = parseRigTime(w[i]);
    if (!t) w.fail("time must be like 2s, 1.5s or 250ms (at most 24 h), not '" + std::string(w[i]) + "'");
    return *t;
}

std::int16_t dbToVolume(double db) { return static_cast<std::int16_t>(std::clamp(std::round(db * 256.0), -32768.0, 32767.0)); }

class Parser {
public:
    RigDescription run(std::string_view text) {
        read(text);
        finish();
        return std::move(d_);
    }

private:
    enum class Section { None, Driver, FireWire, Usb, Timeline };

    void read(std::string_view text) {
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
            if (w.key() == "base") {
                base(w);
                continue;
            }
            switch (section_) {
            case Section::None: w.fail("'" + std::string(w.key()) + "' outside a section");
            case Section::Driver: driverKey(w); break;
            case Section::FireWire: fwKey(w); break;
            case Section::Usb: usbKey(w); break;
            case Section::Timeline: timelineKey(w); break;
            }
        }
    }

    // `base default`, before anything else: the compiled-in rig's devices and
    // settings, which the rest of the file adds to and overrides.
    void base(const Words& w) {
        w.expect(2, 2, "base default");
        if (w[1] != "default") w.fail("the only base is 'default', not '" + std::string(w[1]) + "'");
        if (started_) w.fail("'base' comes before every section");
        read(defaultRigText());
        finishDevice();
        section_ = Section::None;
    }

    void section(std::size_t lineNo, std::string_view line) {
        if (line.back() != ']') failAt(lineNo, "a section header ends with ']'");
        const Words w(lineNo, line.substr(1, line.size() - 2));
        if (w.size() == 0) w.fail("empty section header");
        started_ = true;
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

    // A name of any bytes but 0 (which ends it), as hex bytes: "name-bytes 41 0a ff".
    static std::string nameBytes(const Words& w) {
        w.expect(2, L::kMaxName + 1, "name-bytes HEX... (at most 255 bytes)");
        const std::vector<std::uint8_t> b = w.bytes(1, L::kMaxName, "the name");
        for (std::size_t i = 0; i < b.size(); ++i)
            if (b[i] == 0) w.fail("the name: byte " + std::to_string(i + 1) + " is 00, which would end it");
        return std::string(b.begin(), b.end());
    }

    void fwKey(const Words& w) {
        RigDescription::FwDevice& f = d_.fw.back();
        FwDeviceModel& m = f.model;
        if (commonKey(w, m.rank, m.syncModes, m.currentSyncMode, f.present)) return;
        const std::string_view k = w.key();
        if (k == "name") m.deviceName = w.text(1, "the name");
        else if (k == "name-bytes") m.deviceName = nameBytes(w);
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

    // `at TIME COMMAND ...`: the command's words are checked once the whole
    // file is read. `reenumerate DEVICE MS` is two events, the device leaving
    // now and coming back after MS, so the runner never sleeps in a command.
    //
    // `at TIME repeat N every PERIOD EVENT ...` is the event N times, PERIOD
    // apart (storms and floods).
    void timelineKey(const Words& w) {
        if (w.key() != "at" || w.size() < 3) w.fail("expected: at TIME EVENT ...");
        const std::chrono::milliseconds at = parseTime(w, 1);
        std::size_t first = 2;
        std::uint32_t times = 1;
        std::chrono::milliseconds period{0};
        if (w[2] == "repeat") {
            if (w.size() < 7 || w[4] != "every") w.fail("expected: at TIME repeat N every PERIOD EVENT ...");
            times = w.u32(3, "the repeat count", L::kMaxEvents);
            if (times == 0) w.fail("the repeat count must be 1 or more");
            period = parseTime(w, 5);
            first = 6;
        }
        for (std::uint32_t n = 0; n < times; ++n) {
            const std::chrono::milliseconds when = at + period * n;
            if (when > L::kMaxTime) w.fail("the event fires after 24 h");
            timelineEvent(w, when, first);
        }
    }

    // One firing of the event whose name is word `first`.
    void timelineEvent(const Words& w, std::chrono::milliseconds at, std::size_t first) {
        RigEvent e;
        e.at = at;
        e.line = w.line();
        const std::string what(w[first]);
        if (what == "reenumerate") {
            w.expect(first + 3, first + 3, "at TIME reenumerate DEVICE MS");
            const std::uint32_t ms = w.u32(first + 2, "the time away (ms)", 60000);
            RigEvent back = e;
            back.at += std::chrono::milliseconds(ms);
            if (back.at > L::kMaxTime) w.fail("the device comes back after 24 h");
            e.words = {"unplug", std::string(w[first + 1])};
            back.words = {"plug", std::string(w[first + 1])};
            add(w, std::move(e));
            add(w, std::move(back));
            return;
        }
        if (!RigCommands::has(what)) w.fail("unknown event '" + what + "'");
        for (std::size_t i = first; i < w.size(); ++i) e.words.emplace_back(w[i]);
        add(w, std::move(e));
    }

    void add(const Words& w, RigEvent e) {
        if (d_.timeline.size() >= L::kMaxEvents) w.fail("more than " + std::to_string(L::kMaxEvents) + " events");
        d_.timeline.push_back(std::move(e));
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
        std::stable_sort(d_.timeline.begin(), d_.timeline.end(),
                         [](const RigEvent& a, const RigEvent& b) { return a.at < b.at; });
        checkCommands();
    }

    // The timeline's commands, run in time order on a rig built from the
    // description: bad words or devices fail the load with their line; what
    // the rig's state refuses there may act on the real rig, so it loads.
    void checkCommands() const {
        if (d_.timeline.empty()) return;
        Rig scratch;
        buildRig(d_, scratch);
        const RigCommands commands;
        for (const RigEvent& e : d_.timeline) {
            const RigCommandResult r = commands.run(scratch, e.words);
            if (r.ok || r.refused) continue;
            // A usage line reads as what the line should have been.
            const std::string_view prefix = "sim ";
            failAt(e.line, r.error.rfind(prefix, 0) == 0 ? "expected: at TIME " + r.error.substr(prefix.size()) : r.error);
        }
    }

    RigDescription d_;
    Section section_ = Section::None;
    std::set<std::uint32_t> ids_;
    std::vector<std::size_t> meterLines_, volumeLines_;
    std::size_t currentSyncLine_ = 0, deviceLine_ = 0;
    std::size_t channelCount_ = 0;
    bool started_ = false;  // a section was opened
};

}  // namespace

std::optional<std::chrono::milliseconds> parseRigTime(std::string_view t) {
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
    if (!(ms >= 0 && ms <= static_cast<double>(L::kMaxTime.count()))) return std::nullopt;
    return std::chrono::milliseconds(static_cast<std::int64_t>(ms));
}

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

bool applyRigEvent(Rig& rig, const RigEvent& e) { return RigCommands().run(rig, e.words).ok; }

}  // namespace qel::sim
