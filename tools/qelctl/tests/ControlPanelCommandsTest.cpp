// qelctl's control-panel commands in-process: outputs, traces and errors of
// whole scripts against the built-in rig.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/qelctl/Qelctl.h"
#include "tools/qelctl/tests/RunQelctl.h"

using qel::tools::Qelctl;
using qel::tools::test::Result;
using qel::tools::test::run;

namespace {
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream s(text);
    for (std::string l; std::getline(s, l);) v.push_back(l);
    return v;
}
// Trace lines of one request name, in order.
std::vector<std::string> requests(const std::string& text) {
    std::vector<std::string> v;
    for (const auto& l : lines(text))
        if (l.rfind("fw QEL_REQ_", 0) == 0) v.push_back(l.substr(3, l.find(' ', 3) - 3));
    return v;
}
}  // namespace

TEST(QelctlControlPanel, ChannelsOfBothDirections) {
    Result r = run({"channels", "in"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), 24u);
    EXPECT_EQ(l[0], "in id=1 device=\"Studio 610\" hardware=\"Analog In 1\" name=\"Analog In 1\"");
    EXPECT_EQ(l[23], "in id=34 device=\"Stage 1814\" hardware=\"SPDIF In 2\" name=\"SPDIF In 2\"");
    r = run({"channels", "out"});
    l = lines(r.out);
    ASSERT_EQ(l.size(), 24u);
    EXPECT_EQ(l[0], "out id=7 device=\"Studio 610\" hardware=\"Analog Out 1\" name=\"Analog Out 1\"");

    r = run({"-"}, "sim unplug 1\nsim unplug 2\nchannels in\nstreams\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "sim unplug 1\nsim unplug 2\nsummary no streams available\n");
    EXPECT_NE(run({"channels", "sideways"}).code, 0);
}

TEST(QelctlControlPanel, RenamedDeviceKeeps39CharactersAndIsTheMixersName) {
    const std::string fifty(50, 'R');
    const Result r = run({"-"}, "rename-device \"Stage 1814\" " + fifty + "\nlist\nchannels in\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0], "device 2 name=\"" + std::string(39, 'R') + "\"");
    // `list` reads through the mixer panel's driver object.
    EXPECT_EQ(l[2], "fw id=2 vendor=\"Kavro\" model=\"Kavro 1814\" name=\"" + std::string(39, 'R') +
                        "\" serial=\"K1814-001202\"");
    EXPECT_NE(r.out.find("in id=17 device=\"" + std::string(39, 'R') + "\" hardware=\"Analog In 1\""),
              std::string::npos);

    EXPECT_EQ(run({"rename-device", "nobody", "x"}).code, 1);
    EXPECT_EQ(run({"rename-device", "1", "Caf\xC3\xA9"}).err, "qelctl: rename-device: device names are ASCII\n");
}

TEST(QelctlControlPanel, RankingOrdersTheChannelLists) {
    Result r = run({"--trace", "-"}, "rank \"Stage 1814\"\nchannels in\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto req = requests(r.out);
    EXPECT_EQ(std::count(req.begin(), req.end(), "QEL_REQ_SET_DEVICE_PROPERTIES"), 2);
    EXPECT_NE(r.out.find("rank 0 id=2 name=\"Stage 1814\"\nrank 1 id=1 name=\"Studio 610\"\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nin id=17 device=\"Stage 1814\" hardware=\"Analog In 1\""), std::string::npos);

    r = run({"-"}, "rank 2 1\nrank 1\n");
    EXPECT_EQ(r.out, "rank 0 id=2 name=\"Stage 1814\"\nrank 1 id=1 name=\"Studio 610\"\n"
                     "rank 0 id=1 name=\"Studio 610\"\nrank 1 id=2 name=\"Stage 1814\"\n");
    r = run({"rank", "1", "0x1"});
    EXPECT_EQ(r.err, "qelctl: rank: device named twice: 0x1\n");
    EXPECT_NE(run({"rank"}).code, 0);
}

TEST(QelctlControlPanel, RenamedChannelIsReadBack) {
    Result r = run({"-"}, "rename-channel out 8 \"Monitor L\"\nrename-channel in 3 " + std::string(45, 'k') +
                              "\nchannels in\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto l = lines(r.out);
    EXPECT_EQ(l[0], "out id=8 device=\"Studio 610\" hardware=\"Analog Out 2\" name=\"Monitor L\"");
    EXPECT_EQ(l[1], "in id=3 device=\"Studio 610\" hardware=\"Analog In 3\" name=\"" + std::string(39, 'k') + "\"");
    EXPECT_EQ(l[4], l[1]);

    r = run({"rename-channel", "in", "8", "x"});  // 8 is an output channel
    EXPECT_EQ(r.err, "qelctl: rename-channel: unknown channel: 8\n");
    EXPECT_NE(run({"rename-channel", "in", "x8", "x"}).code, 0);
}

TEST(QelctlControlPanel, AsioNameOption) {
    const Result r = run({"--trace", "-"}, "asio-names\nasio-names on\nasio-names\nasio-names off\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("fw QEL_REQ_SET_ASIO_NAME_OPTION ok in=01000000 out=-\nasio-names on\n"
                         "fw QEL_REQ_GET_ASIO_NAME_OPTION ok in=- out=01000000\nasio-names on\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(lines(r.out).back(), "asio-names off");
    EXPECT_NE(run({"asio-names", "maybe"}).code, 0);
}

TEST(QelctlControlPanel, StreamsShowPlugStatesAndFailureTexts) {
    Result r = run({"-"}, "sim plug-state \"Stage 1814\" audio-in 4 0xE0000073\nsim plug-state 1 synch-in 3\n"
                          "set-rate 96000\nstreams\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "rate 96000\n"
              "device 1 \"Studio 610\"\n"
              "  AudioOutPlug connected (0) rates 44100 48000 88200 [96000] 176400 192000\n"
              "  AudioInPlug connected (1) rates 44100 48000 88200 [96000] 176400 192000\n"
              "  SynchOutPlug state 0 rates 44100 48000 88200 96000 176400 192000\n"
              "  SynchInPlug connected (3) rates 44100 48000 88200 [96000] 176400 192000\n"
              "device 2 \"Stage 1814\"\n"
              "  AudioOutPlug connected (4) rates 44100 48000 88200 [96000] 176400 192000\n"
              "  AudioInPlug connect failed (Error code 0xE0000073: Bandwidth allocation failed.) rates 44100 "
              "48000 88200 96000 176400 192000\n"
              "  SynchOutPlug state 0 rates 44100 48000 88200 96000 176400 192000\n"
              "  SynchInPlug state 0 rates 44100 48000 88200 96000 176400 192000\n"
              "summary connect failed\n");

    r = run({"-"}, "sim plug-state 1 audio-out 4 0xE0000099\nstreams\n");
    EXPECT_NE(r.out.find("AudioOutPlug connect failed (Error code 0xE0000099: ) rates"), std::string::npos);
    r = run({"-"}, "sim fail QEL_REQ_GET_STREAM_INFO 1 0x1F\nstreams\n");
    EXPECT_NE(r.out.find("device 1 \"Studio 610\"\n  no stream info: 0x0000001F ERROR_GEN_FAILURE\ndevice 2"),
              std::string::npos);
    EXPECT_NE(r.out.find("summary streaming"), std::string::npos);  // the unread device does not count

    for (const char* bad : {"sim plug-state 1 audio-sideways 3\n", "sim plug-state 1 4 3\n",
                            "sim plug-state nobody 0 3\n", "sim plug-state 1 0\n"})
        EXPECT_EQ(run({"-"}, bad).code, 1) << bad;
}

TEST(QelctlControlPanel, BuffersAndTheSyncChangeBracket) {
    Result r = run({"buffers"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "stream minimum=1000 step=250 depth=2000us\n"
              "asio minimum=1000 step=500 depth=5000us samples=240\n"
              "wdm minimum=2000 step=1000 depth=10000us samples=480\n");

    r = run({"--trace", "-"}, "set-buffer stream 2500\nset-buffer asio 6000\nset-buffer wdm 3000\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(requests(r.out),
              (std::vector<std::string>{
                  "QEL_REQ_GET_DRIVER_VERSION", "QEL_REQ_GET_STREAM_BUFFER", "QEL_REQ_SET_STREAM_BUFFER",
                  "QEL_REQ_BEGIN_SYNC_CHANGE", "QEL_REQ_END_SYNC_CHANGE", "QEL_REQ_GET_STREAM_BUFFER",
                  "QEL_REQ_GET_ASIO_BUFFER", "QEL_REQ_SET_ASIO_BUFFER", "QEL_REQ_GET_ASIO_BUFFER",
                  "QEL_REQ_GET_WDM_BUFFER", "QEL_REQ_SET_WDM_BUFFER", "QEL_REQ_BEGIN_SYNC_CHANGE",
                  "QEL_REQ_END_SYNC_CHANGE", "QEL_REQ_GET_WDM_BUFFER"}));
    EXPECT_NE(r.out.find("fw QEL_REQ_SET_STREAM_BUFFER ok in=e803000001000000fa000000c4090000 out=-"),
              std::string::npos);
    EXPECT_NE(r.out.find("stream minimum=1000 step=250 depth=2500us\n"), std::string::npos);
    EXPECT_NE(r.out.find("asio minimum=1000 step=500 depth=6000us samples=288\n"), std::string::npos);
    EXPECT_NE(r.out.find("wdm minimum=2000 step=1000 depth=3000us samples=144\n"), std::string::npos);

    // A depth the driver refuses: its error, and no sync change.
    r = run({"--trace", "set-buffer", "wdm", "2500"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qelctl: set-buffer: 0x00000057 ERROR_INVALID_PARAMETER\n");
    EXPECT_EQ(r.out.find("SYNC_CHANGE"), std::string::npos);
    EXPECT_NE(run({"set-buffer", "heap", "100"}).code, 0);
    r = run({"-"}, "sim fail QEL_REQ_GET_ASIO_BUFFER 1 0x1F\nbuffers\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("asio unavailable: 0x0000001F ERROR_GEN_FAILURE\nwdm minimum="), std::string::npos);
}

TEST(QelctlControlPanel, DropoutsAndWdmInUse) {
    Result r = run({"-"}, "stats\nsim dropouts 41\nstats\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "dropouts 0\ndropouts 41\n");

    r = run({"-"}, "sim wdm-in-use on\nset-rate 44100\nsim wdm-in-use off\nset-rate 44100\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qelctl: set-rate: 0xE0000047\n");
    EXPECT_EQ(r.out, "rate 44100\n");
    EXPECT_EQ(run({"-"}, "sim wdm-in-use maybe\n").code, 1);
    EXPECT_EQ(run({"-"}, "sim dropouts -3\n").code, 1);
}
