// Rig commands: each command's words, checks and action on the rig.
#include "sim/RigCommands.h"

#include <cstdint>
#include <map>

#include "os/NumberText.h"
#include "sim/ControlPanelState.h"
#include "sim/FwFirmware.h"
#include "sim/FwMemory.h"
#include "sim/Requests.h"
#include "sim/UsbDevice.h"

namespace qel::sim {

namespace {

using Words = RigCommands::Words;
using Result = RigCommandResult;

constexpr std::uint32_t kMaxDelayMs = 60000;
constexpr std::size_t kMaxNotifyFrame = 512;
constexpr std::size_t kMaxAnswer = 4096;
constexpr std::size_t kMaxVersion = 12;
constexpr std::uint32_t kMaxHsciHeader = 1024 + 8;  // past the last meter of the largest memory
constexpr std::size_t kMaxUsbMessages = 256;         // the oldest goes when a reader falls behind

Result failure(std::string error) { return Result{false, false, {}, std::move(error)}; }
Result refusal(std::string error) { return Result{false, true, {}, std::move(error)}; }
Result done(std::string output = {}) { return Result{true, false, std::move(output), {}}; }

std::optional<std::uint32_t> u32(const std::string& text, std::uint32_t max = UINT32_MAX) {
    const auto v = rigNumber(text);
    if (!v || *v > max) return std::nullopt;
    return v;
}

std::optional<std::uint8_t> byte(const std::string& text) {
    const auto v = u32(text, 0xFF);
    if (!v) return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

// One or two hex digits, no prefix.
std::optional<std::uint8_t> hexByte(const std::string& text) {
    if (text.empty() || text.size() > 2 || text.find_first_of("xX") != std::string::npos) return std::nullopt;
    return byte("0x" + text);
}

// Hex byte words from `from` on, at most `max` of them.
std::optional<std::vector<std::uint8_t>> hexBytes(const Words& a, std::size_t from, std::size_t max) {
    if (a.size() < from || a.size() - from > max) return std::nullopt;
    std::vector<std::uint8_t> out;
    for (std::size_t i = from; i < a.size(); ++i) {
        const auto b = hexByte(a[i]);
        if (!b) return std::nullopt;
        out.push_back(*b);
    }
    return out;
}

// A decimal from `min` to `max`.
std::optional<double> decimal(const std::string& text, double min, double max) {
    const auto v = os::parseNumber(text);
    if (!v || !(*v >= min && *v <= max)) return std::nullopt;
    return v;
}

std::optional<bool> flag(const std::string& w) {
    if (w == "yes" || w == "on" || w == "true" || w == "1" || w == "locked") return true;
    if (w == "no" || w == "off" || w == "false" || w == "0" || w == "unlocked") return false;
    return std::nullopt;
}

// A request by its name or its code (not 0).
std::uint32_t request(const std::string& word) {
    const std::uint32_t code = requestCode(word);
    return code != 0 ? code : u32(word).value_or(0);
}

Result unknownRequest(const std::string& word) { return failure("unknown request: " + word); }

struct Context {
    Rig& rig;
    const RigCommands& commands;
    const char* usage;
    Result bad() const { return failure(std::string("sim ") + usage); }
    // A listener for the driver event the command causes, when one can be opened.
    std::optional<std::string> listen() const { return commands.openListener ? commands.openListener() : std::nullopt; }
};

// A device on either bus, by id or name: FireWire first.
struct Target {
    bool usb = false;
    std::uint32_t id = 0;
};

std::optional<Target> findTarget(const Rig& rig, const std::string& name) {
    if (const auto id = rig.findDevice(name)) return Target{false, *id};
    if (const auto id = rig.findUsbDevice(name)) return Target{true, *id};
    return std::nullopt;
}

// `fn` on the FireWire device's firmware; `refused` when it does not take it.
Result onFirmware(Rig& rig, const std::string& name, const std::function<bool(FwFirmware&)>& fn, const std::string& refused) {
    const auto id = rig.findDevice(name);
    if (!id) return failure(rig.findUsbDevice(name) ? "not a FireWire device: " + name : "unknown device: " + name);
    bool ok = false;
    rig.withFwDevice(*id, [&](FwDeviceModel& m) {
        if (FwFirmware* f = FwFirmware::of(m)) ok = fn(*f);
    });
    return ok ? done() : refusal(refused);
}

Result onUsbModel(Rig& rig, const std::string& name, const std::function<void(UsbDeviceModel&)>& fn) {
    const auto id = rig.findUsbDevice(name);
    if (!id) return failure(rig.findDevice(name) ? "not a USB device: " + name : "unknown USB device: " + name);
    rig.withUsbDevice(*id, fn);
    return done();
}

void queueMessage(UsbDeviceModel& m, std::uint8_t message) {
    if (m.messages.size() >= kMaxUsbMessages) m.messages.pop_front();
    m.messages.push_back(message);
}

using Action = Result (*)(const Context&, const Words&);

struct Command {
    const char* usage;  // the line shown for the command, without "sim "
    Action action;      // the words after the command's name
};

Result plugOrUnplug(const Context& c, const Words& a, bool plug) {
    const char* what = plug ? "plug" : "unplug";
    if (a.size() != 1) return c.bad();
    const auto t = findTarget(c.rig, a[0]);
    if (!t) return failure("unknown device: " + a[0]);
    // The driver reports the changed device set as an event on every control
    // handle: the listener's is open to receive it, when it can be opened.
    (void)c.listen();
    const bool changed = t->usb ? (plug ? c.rig.usbArrive(t->id) : c.rig.usbRemove(t->id))
                                : (plug ? c.rig.plug(t->id) : c.rig.unplug(t->id));
    if (!changed) return refusal("device " + a[0] + (plug ? " is present already" : " is not present"));
    return done(std::string("sim ") + what + " " + std::to_string(t->id) + "\n");
}

Result driverEvent(const Context& c, std::uint32_t code) {
    if (auto e = c.listen()) return failure(*e);
    c.rig.queueDriverEvent(code);
    return done();
}

Result namedDriverEvent(const Context& c, const Words& a, std::uint32_t code) {
    return a.empty() ? driverEvent(c, code) : c.bad();
}

Result wdmInUse(const Context& c, const Words& a) {
    const auto on = a.size() == 1 ? flag(a[0]) : std::nullopt;
    if (!on) return c.bad();
    c.rig.setWdmInUse(*on);
    return done();
}

// Which bus a command's device is on: the plain spellings find the device on
// either, the bus-bound ones (`usb-input`, `device-message`, ...) on theirs.
enum class Buses { Either, FireWire, Usb };

std::optional<bool> onUsbBus(const Context& c, const std::string& device, Buses buses, Result& error) {
    if (buses != Buses::Either) return buses == Buses::Usb;
    const auto t = findTarget(c.rig, device);
    if (!t) error = failure("unknown device: " + device);
    return t ? std::optional<bool>(t->usb) : std::nullopt;
}

// `DEV 1|2 STATE RATECODE`: the state a flag word (locked|unlocked), or for
// the bus-bound spellings a number (0 is unlocked).
Result digitalInput(const Context& c, const Words& a, Buses buses) {
    if (a.size() != 4) return c.bad();
    const auto input = u32(a[1], 2);
    std::optional<bool> locked;
    if (buses == Buses::Either) locked = flag(a[2]);
    else if (const auto n = u32(a[2])) locked = *n != 0;
    const auto code = byte(a[3]);
    if (!input || *input == 0 || !locked || !code) return c.bad();
    Result error;
    const auto usb = onUsbBus(c, a[0], buses, error);
    if (!usb) return error;
    if (*usb)
        return onUsbModel(c.rig, a[0], [&](UsbDeviceModel& m) { m.inputs[*input] = UsbInputState{*locked, *code}; });
    return onFirmware(
        c.rig, a[0], [&](FwFirmware& f) { return f.setDigitalInput(static_cast<int>(*input), *locked, *code); },
        "device " + a[0] + " has no digital input " + a[1]);
}

// `DEV BYTE`: a message from the device's front panel or firmware.
Result message(const Context& c, const Words& a, Buses buses) {
    const auto b = a.size() == 2 ? byte(a[1]) : std::nullopt;
    if (!b) return c.bad();
    Result error;
    const auto usb = onUsbBus(c, a[0], buses, error);
    if (!usb) return error;
    if (*usb) return onUsbModel(c.rig, a[0], [&](UsbDeviceModel& m) { queueMessage(m, *b); });
    return onFirmware(c.rig, a[0], [&](FwFirmware& f) { f.deviceMessage(*b); return true; }, {});
}

const std::map<std::string, Command>& table() {
    static const std::map<std::string, Command> commands = {
        {"plug", {"plug DEVICE", [](const Context& c, const Words& a) { return plugOrUnplug(c, a, true); }}},
        {"unplug", {"unplug DEVICE", [](const Context& c, const Words& a) { return plugOrUnplug(c, a, false); }}},
        {"event",
         {"event CODE",
          [](const Context& c, const Words& a) {
              const auto code = a.size() == 1 ? u32(a[0]) : std::nullopt;
              return code ? driverEvent(c, *code) : c.bad();
          }}},
        {"bus-reset", {"bus-reset", [](const Context& c, const Words& a) { return namedDriverEvent(c, a, 1); }}},
        {"streaming-restarted",
         {"streaming-restarted", [](const Context& c, const Words& a) { return namedDriverEvent(c, a, 2); }}},
        {"configuration-changed",
         {"configuration-changed", [](const Context& c, const Words& a) { return namedDriverEvent(c, a, 3); }}},
        {"fail",
         {"fail REQUEST_NAME|CODE COUNT STATUS",
          [](const Context& c, const Words& a) {
              if (a.size() != 3) return c.bad();
              const std::uint32_t code = request(a[0]);
              const auto count = u32(a[1]);
              const auto status = u32(a[2]);
              if (code == 0) return unknownRequest(a[0]);
              if (!count || !status) return c.bad();
              c.rig.failNext(code, *count, *status);
              return done();
          }}},
        {"delay",
         {"delay REQUEST_NAME|CODE|all MS (at most 60000)",
          [](const Context& c, const Words& a) {
              if (a.size() != 2) return c.bad();
              const std::uint32_t code = a[0] == "all" ? 0 : request(a[0]);
              const auto ms = u32(a[1], kMaxDelayMs);
              if (code == 0 && a[0] != "all") return unknownRequest(a[0]);
              if (!ms) return c.bad();
              c.rig.setDelay(code, *ms);
              return done();
          }}},
        {"clear-faults",
         {"clear-faults (every injected request and firmware fault ends)",
          [](const Context& c, const Words& a) {
              if (!a.empty()) return c.bad();
              c.rig.clearFaults();
              return done();
          }}},
        {"ignore-cancel",
         {"ignore-cancel REQUEST_NAME|CODE|all on|off (delayed requests issued from now on)",
          [](const Context& c, const Words& a) {
              if (a.size() != 2) return c.bad();
              const std::uint32_t code = a[0] == "all" ? 0 : request(a[0]);
              const auto on = flag(a[1]);
              if (code == 0 && a[0] != "all") return unknownRequest(a[0]);
              if (!on) return c.bad();
              c.rig.setIgnoresCancel(code, *on);
              return done();
          }}},
        {"answer",
         {"answer REQUEST_NAME|CODE [B0 B1 ...] (hex bytes: the next answer, at most 4096)",
          [](const Context& c, const Words& a) {
              if (a.empty()) return c.bad();
              const std::uint32_t code = request(a[0]);
              const auto bytes = hexBytes(a, 1, kMaxAnswer);
              if (code == 0) return unknownRequest(a[0]);
              if (!bytes) return c.bad();
              c.rig.answerNext(code, *bytes);
              return done();
          }}},
        {"version",
         {"version B0 B1 ... (hex bytes, at most 12)",
          [](const Context& c, const Words& a) {
              const auto bytes = hexBytes(a, 0, kMaxVersion);
              if (!bytes || bytes->empty()) return c.bad();
              c.rig.setVersionAnswer(*bytes);
              return done();
          }}},
        {"wdm", {"wdm on|off", wdmInUse}},
        {"wdm-in-use", {"wdm-in-use on|off", wdmInUse}},
        {"plug-state",
         {"plug-state DEVICE audio-out|audio-in|synch-out|synch-in|0..3 STATE [CODE]",
          [](const Context& c, const Words& a) {
              if (a.size() != 3 && a.size() != 4) return c.bad();
              static const char* const kPlugs[] = {"audio-out", "audio-in", "synch-out", "synch-in"};
              std::optional<std::uint32_t> plug;
              for (std::uint32_t i = 0; i < 4; ++i)
                  if (a[1] == kPlugs[i]) plug = i;
              if (!plug) plug = u32(a[1], kPlugCount - 1);
              const auto state = u32(a[2]);
              const auto code = a.size() == 4 ? u32(a[3]) : std::optional<std::uint32_t>(0);
              if (!plug || !state || !code) return c.bad();
              const auto id = c.rig.findDevice(a[0]);
              if (!id) return failure("unknown device: " + a[0]);
              c.rig.withControlPanel([&](ControlPanelState& s) { s.setPlugState(*id, *plug, *state, *code); });
              return done();
          }}},
        {"dropouts",
         {"dropouts N",
          [](const Context& c, const Words& a) {
              const auto n = a.size() == 1 ? u32(a[0]) : std::nullopt;
              if (!n) return c.bad();
              c.rig.withControlPanel([&](ControlPanelState& s) { s.dropouts = *n; });
              return done();
          }}},
        {"signal",
         {"signal DEV METER|all silence|constant|sine|noise|peaks [LEVEL 0..200]",
          [](const Context& c, const Words& a) {
              static const std::map<std::string, FwMemory::Signal> kinds = {
                  {"silence", FwMemory::Signal::Silence}, {"constant", FwMemory::Signal::Constant},
                  {"sine", FwMemory::Signal::Sine},       {"noise", FwMemory::Signal::Noise},
                  {"peaks", FwMemory::Signal::Peaks}};
              if (a.size() != 3 && a.size() != 4) return c.bad();
              const bool all = a[1] == "all";
              const auto meter = all ? std::optional<std::uint32_t>(0) : u32(a[1]);
              const auto kind = kinds.find(a[2]);
              const auto level = a.size() == 4 ? decimal(a[3], 0, 200) : std::optional<double>(100.0);
              if (!meter || kind == kinds.end() || !level) return c.bad();
              return onFirmware(
                  c.rig, a[0],
                  [&](FwFirmware& f) {
                      FwMemory& m = f.memory();
                      if (!all) return m.setSignal(*meter, kind->second, *level);
                      const std::uint32_t n = m.meterCount();
                      for (std::uint32_t i = 0; i < n; ++i) m.setSignal(i, kind->second, *level);
                      return true;
                  },
                  "device " + a[0] + " has no meter " + a[1]);
          }}},
        {"hsci",
         {"hsci DEV broken|short|zero-step [HEADER] | endless | version N | ok",
          [](const Context& c, const Words& a) {
              using Fault = FwMemory::Fault;
              if (a.size() < 2 || a.size() > 3) return c.bad();
              const std::string& what = a[1];
              const bool arg = a.size() == 3;
              std::optional<Fault> fault;
              std::uint32_t n = 1;
              if (what == "broken" || what == "short" || what == "zero-step") {
                  fault = what == "broken" ? Fault::ReadFails : what == "short" ? Fault::ReadShort : Fault::ZeroStep;
                  if (arg) {
                      const auto header = u32(a[2], kMaxHsciHeader);
                      if (!header) return c.bad();
                      n = *header;
                  }
              } else if ((what == "endless" || what == "ok") && !arg) {
                  fault = what == "ok" ? Fault::None : Fault::Endless;
              } else if (what == "version" && arg) {
                  const auto v = byte(a[2]);
                  if (!v) return c.bad();
                  n = *v;
              } else {
                  return c.bad();
              }
              return onFirmware(
                  c.rig, a[0],
                  [&](FwFirmware& f) {
                      FwMemory& m = f.memory();
                      if (!fault) {
                          m.setVersion(static_cast<std::uint8_t>(n));
                          return true;
                      }
                      m.setFault(*fault, *fault == Fault::Endless || *fault == Fault::None ? 0 : n);
                      if (*fault == Fault::None) m.setVersion(2);
                      return true;
                  },
                  {});
          }}},
        {"notify-response",
         {"notify-response DEV B0 B1 ... (hex bytes, or one word of hex digit pairs; at most 512)",
          [](const Context& c, const Words& a) {
              std::optional<std::vector<std::uint8_t>> frame;
              if (a.size() == 2 && a[1].size() > 2) {
                  // One word of digit pairs: "0dff00".
                  const std::string& w = a[1];
                  if (w.size() % 2 == 0 && w.size() <= 2 * kMaxNotifyFrame) {
                      Words pairs;
                      for (std::size_t i = 0; i < w.size(); i += 2) pairs.push_back(w.substr(i, 2));
                      frame = hexBytes(pairs, 0, kMaxNotifyFrame);
                  }
              } else if (a.size() >= 2) {
                  frame = hexBytes(a, 1, kMaxNotifyFrame);
              }
              if (!frame) return c.bad();
              const auto id = c.rig.findDevice(a[0]);
              if (!id) return failure(c.rig.findUsbDevice(a[0]) ? "not a FireWire device: " + a[0] : "unknown device: " + a[0]);
              if (c.rig.injectNotifyResponse(*id, *frame) == 0) return refusal("no handle waits for notify responses");
              return done();
          }}},
        {"knob",
         {"knob DEV BLOCK CH DB",
          [](const Context& c, const Words& a) {
              const auto block = a.size() == 4 ? byte(a[1]) : std::nullopt;
              const auto ch = a.size() == 4 ? u32(a[2], FwFirmware::kChannels - 1) : std::nullopt;
              const auto db = a.size() == 4 ? decimal(a[3], -200, 200) : std::nullopt;
              if (!block || !ch || !db) return c.bad();
              return onFirmware(
                  c.rig, a[0], [&](FwFirmware& f) { return f.knob(*block, static_cast<std::uint8_t>(*ch), *db); },
                  "device " + a[0] + " has no block " + a[1]);
          }}},
        {"input",
         {"input DEV 1|2 locked|unlocked RATECODE",
          [](const Context& c, const Words& a) { return digitalInput(c, a, Buses::Either); }}},
        {"digital-input",
         {"digital-input DEV 1|2 PRESENT RATECODE",
          [](const Context& c, const Words& a) { return digitalInput(c, a, Buses::FireWire); }}},
        {"usb-input",
         {"usb-input DEV 1|2 LOCKED RATECODE",
          [](const Context& c, const Words& a) { return digitalInput(c, a, Buses::Usb); }}},
        {"message", {"message DEV BYTE", [](const Context& c, const Words& a) { return message(c, a, Buses::Either); }}},
        {"device-message",
         {"device-message DEV BYTE", [](const Context& c, const Words& a) { return message(c, a, Buses::FireWire); }}},
        {"usb-message", {"usb-message DEV BYTE", [](const Context& c, const Words& a) { return message(c, a, Buses::Usb); }}},
        {"avc-reply",
         {"avc-reply DEV RESPONSECODE",
          [](const Context& c, const Words& a) {
              const auto code = a.size() == 2 ? byte(a[1]) : std::nullopt;
              if (!code) return c.bad();
              return onFirmware(c.rig, a[0], [&](FwFirmware& f) { f.replyNext(*code); return true; }, {});
          }}},
        {"reenumerate",
         {"reenumerate DEV MS (at most 60000)",
          [](const Context& c, const Words& a) {
              const auto ms = a.size() == 2 ? u32(a[1], kMaxDelayMs) : std::nullopt;
              if (!ms) return c.bad();
              const auto id = c.rig.findUsbDevice(a[0]);
              if (!id) return failure("unknown USB device: " + a[0]);
              if (!c.rig.reenumerate(*id, *ms, /*wait=*/true)) return refusal("sim reenumerate: device not present");
              return done();
          }}},
        {"usb-descriptor",
         {"usb-descriptor DEV LENGTH (the next descriptor answer, at most 255 bytes)",
          [](const Context& c, const Words& a) {
              const auto n = a.size() == 2 ? u32(a[1], 255) : std::nullopt;
              if (!n) return c.bad();
              return onUsbModel(c.rig, a[0], [&](UsbDeviceModel& m) {
                  std::vector<std::uint8_t> b = m.deviceDescriptor;
                  b.resize(*n, 0);
                  m.nextDescriptor = std::move(b);
              });
          }}},
        {"add-model",
         {"add-model fw|usb ID MODEL [NAME]",
          [](const Context& c, const Words& a) {
              const auto id = a.size() >= 3 && a.size() <= 4 ? u32(a[1]) : std::nullopt;
              if (!id || *id == 0 || (a[0] != "fw" && a[0] != "usb")) return c.bad();
              const std::string name = a.size() == 4 ? a[3] : a[2];
              if (a[0] == "fw") {
                  if (c.rig.findDevice(std::to_string(*id))) return failure("device exists: " + a[1]);
                  FwDeviceModel m;
                  m.id = *id;
                  m.rank = *id;
                  m.deviceName = name;
                  m.serial = "SN-" + std::to_string(*id);
                  m.vendor = "Kavro";
                  m.model = a[2];
                  m.syncModes = {{4, 1, "internal"}, {2, 5, "pc"}};
                  m.firmware = std::make_shared<FwFirmware>(std::vector<std::uint8_t>{1, 2, 3, 4});
                  c.rig.addFwDevice(std::move(m));
                  return done();
              }
              if (c.rig.findUsbDevice(std::to_string(*id))) return failure("device exists: " + a[1]);
              // A copy of the default USB model under another name.
              Rig defaults;
              installDefaultUsbDevice(defaults);
              UsbDeviceModel m;
              defaults.withUsbDevice(0x10, [&](UsbDeviceModel& d) { m = d; });
              m.id = *id;
              m.model = a[2];
              m.displayName = name;
              m.lookupName = "SN-" + std::to_string(*id);
              c.rig.addUsbDevice(std::move(m));
              return done();
          }}},
    };
    return commands;
}

}  // namespace

std::optional<std::uint32_t> rigNumber(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::size_t first = hex ? 2 : 0;
    if (text.size() == first) return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return std::nullopt;  // also a NUL inside the word
        v = v * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

RigCommandResult RigCommands::run(Rig& rig, const Words& words) const {
    const auto& commands = table();
    const auto it = words.empty() ? commands.end() : commands.find(words[0]);
    if (it == commands.end()) {
        std::string all;
        for (const std::string& u : usages()) all += (all.empty() ? "" : ", ") + u;
        return failure(all);
    }
    return it->second.action(Context{rig, *this, it->second.usage}, Words(words.begin() + 1, words.end()));
}

bool RigCommands::has(const std::string& name) { return table().count(name) != 0; }

std::vector<std::string> RigCommands::usages() const {
    std::vector<std::string> out;
    for (const auto& [name, c] : table()) out.emplace_back(c.usage);
    return out;
}

}  // namespace qel::sim
