// Rig commands: each command's words, checks and action on the rig.
#include "sim/RigCommands.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
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

Result failure(std::string error) { return Result{false, {}, std::move(error)}; }
Result done(std::string output = {}) { return Result{true, std::move(output), {}}; }

std::optional<std::uint32_t> u32(const std::string& text) { return rigNumber(text); }

std::optional<std::uint8_t> byte(const std::string& text) {
    const auto v = u32(text);
    if (!v || *v > 0xFF) return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

// Two hex digits, no prefix.
std::optional<std::uint8_t> hexByte(const std::string& text) {
    if (text.empty() || text.size() > 2 || text.find_first_of("xX") != std::string::npos) return std::nullopt;
    return byte("0x" + text);
}

Result onFirmware(Rig& rig, const std::string& name, const std::function<bool(FwFirmware&)>& fn, const std::string& use) {
    const auto id = rig.findDevice(name);
    if (!id) return failure("unknown device: " + name);
    bool ok = false;
    rig.withFwDevice(*id, [&](FwDeviceModel& m) {
        if (FwFirmware* f = FwFirmware::of(m)) ok = fn(*f);
    });
    return ok ? done() : failure(use);
}

Result onUsbModel(Rig& rig, const std::string& name, const std::function<bool(UsbDeviceModel&)>& fn, const std::string& use) {
    const auto id = rig.findUsbDevice(name);
    if (!id) return failure("unknown USB device: " + name);
    bool ok = false;
    rig.withUsbDevice(*id, [&](UsbDeviceModel& m) { ok = fn(m); });
    return ok ? done() : failure(use);
}

struct Context {
    Rig& rig;
    const RigCommands& commands;
};

using Action = Result (*)(const Context&, const Words&);

struct Command {
    const char* usage;  // the line shown for the command, without "sim "
    Action action;      // the words after the command's name
};

Result plugOrUnplug(const Context& c, const Words& a, bool plug) {
    const char* what = plug ? "plug" : "unplug";
    if (a.size() != 1) return failure(std::string("sim ") + what + " DEVICE");
    const auto id = c.rig.findDevice(a[0]);
    if (!id) return failure("unknown device: " + a[0]);
    // The driver reports the changed device set as an event on every control
    // handle: the listener's is open to receive it, when it can be opened.
    if (c.commands.openListener) (void)c.commands.openListener();
    if (!(plug ? c.rig.plug(*id) : c.rig.unplug(*id)))
        return failure("device " + a[0] + (plug ? " is present already" : " is not present"));
    return done(std::string("sim ") + what + " " + std::to_string(*id) + "\n");
}

Result onOff(const Words& a, const char* use, Rig& rig) {
    if (a.size() != 1 || (a[0] != "on" && a[0] != "off")) return failure(use);
    rig.setWdmInUse(a[0] == "on");
    return done();
}

const std::map<std::string, Command>& table() {
    static const std::map<std::string, Command> commands = {
        {"plug", {"plug DEVICE", [](const Context& c, const Words& a) { return plugOrUnplug(c, a, true); }}},
        {"unplug", {"unplug DEVICE", [](const Context& c, const Words& a) { return plugOrUnplug(c, a, false); }}},
        {"event",
         {"event CODE",
          [](const Context& c, const Words& a) {
              const auto code = a.size() == 1 ? u32(a[0]) : std::nullopt;
              if (!code) return failure("sim event CODE");
              if (c.commands.openListener)
                  if (auto e = c.commands.openListener()) return failure(*e);
              c.rig.queueDriverEvent(*code);
              return done();
          }}},
        {"fail",
         {"fail REQUEST_NAME COUNT STATUS",
          [](const Context& c, const Words& a) {
              const char* use = "sim fail REQUEST_NAME COUNT STATUS";
              if (a.size() != 3) return failure(use);
              const std::uint32_t code = requestCode(a[0]) != 0 ? requestCode(a[0]) : u32(a[0]).value_or(0);
              const auto count = u32(a[1]);
              const auto status = u32(a[2]);
              if (code == 0 || !count || !status) return failure(use);
              c.rig.failNext(code, *count, *status);
              return done();
          }}},
        {"delay",
         {"delay REQUEST_NAME|all MS",
          [](const Context& c, const Words& a) {
              const std::uint32_t code = a.size() == 2 && a[0] != "all" ? requestCode(a[0]) : 0;
              const auto ms = a.size() == 2 ? u32(a[1]) : std::nullopt;
              if ((code == 0 && (a.empty() || a[0] != "all")) || !ms) return failure("sim delay REQUEST_NAME|all MS");
              c.rig.setDelay(code, *ms);
              return done();
          }}},
        {"version",
         {"version B0 B1 ... (hex bytes)",
          [](const Context& c, const Words& a) {
              const char* use = "sim version B0 B1 ... (hex bytes)";
              if (a.empty() || a.size() > 12) return failure(use);
              std::vector<std::uint8_t> bytes;
              for (const auto& word : a) {
                  const auto v = hexByte(word);
                  if (!v) return failure(use);
                  bytes.push_back(*v);
              }
              c.rig.setVersionAnswer(bytes);
              return done();
          }}},
        {"wdm", {"wdm on|off", [](const Context& c, const Words& a) { return onOff(a, "sim wdm on|off", c.rig); }}},
        {"wdm-in-use",
         {"wdm-in-use on|off", [](const Context& c, const Words& a) { return onOff(a, "sim wdm-in-use on|off", c.rig); }}},
        {"plug-state",
         {"plug-state DEVICE PLUG STATE [CODE]",
          [](const Context& c, const Words& a) {
              const char* use = "sim plug-state DEVICE audio-out|audio-in|synch-out|synch-in|0..3 STATE [CODE]";
              if (a.size() != 3 && a.size() != 4) return failure(use);
              static const char* const kPlugs[] = {"audio-out", "audio-in", "synch-out", "synch-in"};
              std::optional<std::uint32_t> plug;
              for (std::uint32_t i = 0; i < 4; ++i)
                  if (a[1] == kPlugs[i]) plug = i;
              if (!plug) plug = u32(a[1]);
              const auto state = u32(a[2]);
              const auto code = a.size() == 4 ? u32(a[3]) : std::optional<std::uint32_t>(0);
              if (!plug || *plug >= kPlugCount || !state || !code) return failure(use);
              const auto id = c.rig.findDevice(a[0]);
              if (!id) return failure("unknown device: " + a[0]);
              c.rig.withControlPanel([&](ControlPanelState& s) { s.setPlugState(*id, *plug, *state, *code); });
              return done();
          }}},
        {"dropouts",
         {"dropouts N",
          [](const Context& c, const Words& a) {
              const auto n = a.size() == 1 ? u32(a[0]) : std::nullopt;
              if (!n) return failure("sim dropouts N");
              c.rig.withControlPanel([&](ControlPanelState& s) { s.dropouts = *n; });
              return done();
          }}},
        {"signal",
         {"signal DEV CH silence|constant|sine|noise|peaks [LEVEL]",
          [](const Context& c, const Words& a) {
              const char* use = "sim signal DEV CH silence|constant|sine|noise|peaks [LEVEL 0..200]";
              static const std::map<std::string, FwMemory::Signal> kinds = {
                  {"silence", FwMemory::Signal::Silence}, {"constant", FwMemory::Signal::Constant},
                  {"sine", FwMemory::Signal::Sine},       {"noise", FwMemory::Signal::Noise},
                  {"peaks", FwMemory::Signal::Peaks}};
              const auto ch = a.size() >= 3 ? u32(a[1]) : std::nullopt;
              const auto kind = a.size() >= 3 ? kinds.find(a[2]) : kinds.end();
              const auto level = a.size() == 4 ? os::parseNumber(a[3]) : std::optional<double>(100.0);
              if (!ch || kind == kinds.end() || !level || a.size() > 4) return failure(use);
              return onFirmware(c.rig, a[0], [&](FwFirmware& f) { return f.memory().setSignal(*ch, kind->second, *level); }, use);
          }}},
        {"hsci",
         {"hsci DEV broken|short|zero-step [HEADER] | endless | version N | ok",
          [](const Context& c, const Words& a) {
              const char* use = "sim hsci DEV broken|short|zero-step [HEADER] | endless | version N | ok";
              if (a.size() < 2 || a.size() > 3) return failure(use);
              const auto n = a.size() == 3 ? u32(a[2]) : std::optional<std::uint32_t>(1);
              if (!n) return failure(use);
              using Fault = FwMemory::Fault;
              const std::string& what = a[1];
              return onFirmware(
                  c.rig, a[0],
                  [&](FwFirmware& f) {
                      FwMemory& m = f.memory();
                      if (what == "broken") m.setFault(Fault::ReadFails, *n);
                      else if (what == "short") m.setFault(Fault::ReadShort, *n);
                      else if (what == "zero-step") m.setFault(Fault::ZeroStep, *n);
                      else if (what == "endless" && a.size() == 2) m.setFault(Fault::Endless);
                      else if (what == "version" && a.size() == 3 && *n <= 255) m.setVersion(static_cast<std::uint8_t>(*n));
                      else if (what == "ok" && a.size() == 2) {
                          m.setFault(Fault::None);
                          m.setVersion(2);
                      } else return false;
                      return true;
                  },
                  use);
          }}},
        {"notify-response",
         {"notify-response DEV HEXBYTES",
          [](const Context& c, const Words& a) {
              const char* use = "sim notify-response DEV HEXBYTES";
              if (a.size() != 2 || a[1].size() % 2 != 0 || a[1].size() > 1024) return failure(use);
              std::vector<std::uint8_t> frame;
              for (std::size_t i = 0; i < a[1].size(); i += 2) {
                  const auto b = hexByte(a[1].substr(i, 2));
                  if (!b) return failure(use);
                  frame.push_back(*b);
              }
              const auto id = c.rig.findDevice(a[0]);
              if (!id) return failure("unknown device: " + a[0]);
              if (c.rig.injectNotifyResponse(*id, frame) == 0) return failure("no handle waits for notify responses");
              return done();
          }}},
        {"knob",
         {"knob DEV BLOCK CH DB",
          [](const Context& c, const Words& a) {
              const char* use = "sim knob DEV BLOCK CH DB";
              const auto block = a.size() == 4 ? byte(a[1]) : std::nullopt;
              const auto ch = a.size() == 4 ? byte(a[2]) : std::nullopt;
              const auto db = a.size() == 4 ? os::parseNumber(a[3]) : std::nullopt;
              if (!block || !ch || !db) return failure(use);
              return onFirmware(c.rig, a[0], [&](FwFirmware& f) { return f.knob(*block, *ch, *db); }, use);
          }}},
        {"digital-input",
         {"digital-input DEV 1|2 PRESENT RATECODE",
          [](const Context& c, const Words& a) {
              const char* use = "sim digital-input DEV 1|2 PRESENT RATECODE";
              const auto input = a.size() == 4 ? u32(a[1]) : std::nullopt;
              const auto present = a.size() == 4 ? u32(a[2]) : std::nullopt;
              const auto code = a.size() == 4 ? byte(a[3]) : std::nullopt;
              if (!input || !present || !code) return failure(use);
              return onFirmware(
                  c.rig, a[0], [&](FwFirmware& f) { return f.setDigitalInput(static_cast<int>(*input), *present != 0, *code); }, use);
          }}},
        {"device-message",
         {"device-message DEV BYTE",
          [](const Context& c, const Words& a) {
              const char* use = "sim device-message DEV BYTE";
              const auto b = a.size() == 2 ? byte(a[1]) : std::nullopt;
              if (!b) return failure(use);
              return onFirmware(c.rig, a[0], [&](FwFirmware& f) { f.deviceMessage(*b); return true; }, use);
          }}},
        {"avc-reply",
         {"avc-reply DEV RESPONSECODE",
          [](const Context& c, const Words& a) {
              const char* use = "sim avc-reply DEV RESPONSECODE";
              const auto code = a.size() == 2 ? byte(a[1]) : std::nullopt;
              if (!code) return failure(use);
              return onFirmware(c.rig, a[0], [&](FwFirmware& f) { f.replyNext(*code); return true; }, use);
          }}},
        {"reenumerate",
         {"reenumerate DEV MS",
          [](const Context& c, const Words& a) {
              const auto ms = a.size() == 2 ? u32(a[1]) : std::nullopt;
              if (!ms || *ms > 60000) return failure("sim reenumerate DEV MS (at most 60000)");
              const auto id = c.rig.findUsbDevice(a[0]);
              if (!id) return failure("unknown USB device: " + a[0]);
              if (!c.rig.reenumerate(*id, *ms, /*wait=*/true)) return failure("sim reenumerate: device not present");
              return done();
          }}},
        {"usb-message",
         {"usb-message DEV BYTE",
          [](const Context& c, const Words& a) {
              const char* use = "sim usb-message DEV BYTE";
              const auto b = a.size() == 2 ? byte(a[1]) : std::nullopt;
              if (!b) return failure(use);
              return onUsbModel(c.rig, a[0], [&](UsbDeviceModel& m) {
                  m.messages.push_back(*b);
                  return true;
              }, use);
          }}},
        {"usb-input",
         {"usb-input DEV 1|2 LOCKED RATECODE",
          [](const Context& c, const Words& a) {
              const char* use = "sim usb-input DEV 1|2 LOCKED RATECODE";
              const auto input = a.size() == 4 ? u32(a[1]) : std::nullopt;
              const auto locked = a.size() == 4 ? u32(a[2]) : std::nullopt;
              const auto code = a.size() == 4 ? byte(a[3]) : std::nullopt;
              if (!input || (*input != 1 && *input != 2) || !locked || !code) return failure(use);
              return onUsbModel(c.rig, a[0], [&](UsbDeviceModel& m) {
                  m.inputs[*input] = UsbInputState{*locked != 0, *code};
                  return true;
              }, use);
          }}},
        {"usb-descriptor",
         {"usb-descriptor DEV LENGTH",
          [](const Context& c, const Words& a) {
              const char* use = "sim usb-descriptor DEV LENGTH (the next descriptor answer, at most 255 bytes)";
              const auto n = a.size() == 2 ? u32(a[1]) : std::nullopt;
              if (!n || *n > 255) return failure(use);
              return onUsbModel(c.rig, a[0], [&](UsbDeviceModel& m) {
                  std::vector<std::uint8_t> b = m.deviceDescriptor;
                  b.resize(*n, 0);
                  m.nextDescriptor = std::move(b);
                  return true;
              }, use);
          }}},
        {"add-model",
         {"add-model fw|usb ID MODEL [NAME]",
          [](const Context& c, const Words& a) {
              const char* use = "sim add-model fw|usb ID MODEL [NAME]";
              const auto id = a.size() >= 3 && a.size() <= 4 ? u32(a[1]) : std::nullopt;
              if (!id || *id == 0 || (a[0] != "fw" && a[0] != "usb")) return failure(use);
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
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned long long v = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0' || v > 0xFFFFFFFFull) return std::nullopt;
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
    return it->second.action(Context{rig, *this}, Words(words.begin() + 1, words.end()));
}

bool RigCommands::has(const std::string& name) { return table().count(name) != 0; }

std::vector<std::string> RigCommands::usages() const {
    std::vector<std::string> out;
    for (const auto& [name, c] : table()) out.emplace_back(c.usage);
    return out;
}

}  // namespace qel::sim
