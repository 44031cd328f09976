#include "mixer/app/SceneFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace qel::mixer;

namespace {

// One of every kind of value.
Scene Sample()
{
    Scene s;
    s.model = "Kavro 1814";
    s.values = {SceneValue::Of(SceneStrip::Input, "Input 1/2", SceneControl::LeftVolume, -12),
                SceneValue::Of(SceneStrip::Input, "Input 1/2", SceneControl::RightVolume, -63),
                SceneValue::Of(SceneStrip::Input, "Input 1/2", SceneControl::LeftPan, -127),
                SceneValue::Of(SceneStrip::Input, "Input 1/2", SceneControl::RightPan, 20),
                SceneValue::Of(SceneStrip::Input, "Coax S/PDIF", SceneControl::LeftMute, 1),
                SceneValue::Of(SceneStrip::Input, "Coax S/PDIF", SceneControl::RightSolo, 1),
                SceneValue::Of(SceneStrip::Input, "Coax S/PDIF", SceneControl::Link, 0),
                SceneValue::Of(SceneStrip::Master, "", SceneControl::Volume, 0),
                SceneValue::Of(SceneStrip::Master, "", SceneControl::Balance, -5),
                SceneValue::Of(SceneStrip::Headphone, "", SceneControl::Mute, 1),
                SceneValue::Of(SceneStrip::None, "", SceneControl::Crossfader, 127),
                SceneValue::Of(SceneStrip::None, "", SceneControl::ClockSource, 3),
                SceneValue::Of(SceneStrip::None, "", SceneControl::DigitalMode, 1),
                SceneValue::Of(SceneStrip::None, "", SceneControl::SampleRate, 96000)};
    return s;
}

std::string Error(const std::string& text)
{
    Scene scene;
    scene.model = "untouched";
    SceneError error;
    EXPECT_FALSE(ParseScene(text, scene, error)) << text;
    EXPECT_EQ(scene.model, "untouched");
    EXPECT_TRUE(scene.values.empty());
    return error.Message();
}

}  // namespace

TEST(SceneFile, WritesOneReadableLinePerValue)
{
    const std::string text = WriteScene(Sample());
    EXPECT_EQ(text,
              "# Kavro Mixer Panel scene\n"
              "model = Kavro 1814\n"
              "input \"Input 1/2\" left volume = -12 dB\n"
              "input \"Input 1/2\" right volume = -63 dB\n"
              "input \"Input 1/2\" left pan = -127\n"
              "input \"Input 1/2\" right pan = 20\n"
              "input \"Coax S/PDIF\" left mute = on\n"
              "input \"Coax S/PDIF\" right solo = on\n"
              "input \"Coax S/PDIF\" link = off\n"
              "master volume = 0 dB\n"
              "master balance = -5\n"
              "headphone mute = on\n"
              "crossfader = 127\n"
              "clock source = Word Clock\n"
              "digital mode = ADAT\n"
              "sample rate = 96000\n");
}

TEST(SceneFile, RoundTripKeepsEveryValueAndItsLine)
{
    const Scene original = Sample();
    Scene read;
    SceneError error;
    ASSERT_TRUE(ParseScene(WriteScene(original), read, error)) << error.Message();
    EXPECT_EQ(read.model, original.model);
    ASSERT_EQ(read.values.size(), original.values.size());
    for (std::size_t i = 0; i < read.values.size(); ++i) {
        EXPECT_EQ(read.values[i].Key(), original.values[i].Key());
        EXPECT_EQ(read.values[i].value, original.values[i].value) << read.values[i].Key();
        EXPECT_EQ(read.values[i].line, int(i) + 3);
    }
}

TEST(SceneFile, ReadsHandWrittenVariants)
{
    // Case, blanks, CR LF, comments, units or none, a byte-order mark, 1/0 switches.
    const std::string text = "\xEF\xBB\xBF# my mix\r\n"
                             "\r\n"
                             "  MODEL   =  Kavro   610 \r\n"
                             "Input  \"Input 3/4\"   LEFT   Volume=-6\r\n"
                             "input \"a=b\" right pan = +5\n"
                             "Master Mute = 1\n"
                             "sample rate = 44100 Hz\n"
                             "clock source = word clock\n"
                             "digital mode = hs-spdif";
    Scene s;
    SceneError error;
    ASSERT_TRUE(ParseScene(text, s, error)) << error.Message();
    EXPECT_EQ(s.model, "Kavro 610");
    ASSERT_EQ(s.values.size(), 6u);
    EXPECT_EQ(s.values[0].caption, "Input 3/4");
    EXPECT_EQ(s.values[0].control, SceneControl::LeftVolume);
    EXPECT_EQ(s.values[0].value, -6);
    EXPECT_EQ(s.values[0].line, 4);
    EXPECT_EQ(s.values[1].caption, "a=b");
    EXPECT_EQ(s.values[1].value, 5);
    EXPECT_EQ(s.values[2].strip, SceneStrip::Master);
    EXPECT_EQ(s.values[2].value, 1);
    EXPECT_EQ(s.values[3].value, 44100);
    EXPECT_EQ(s.values[4].value, 3);
    EXPECT_EQ(s.values[5].value, 3);
}

TEST(SceneFile, BrokenFilesGiveTheLineAndChangeNothing)
{
    const std::string head = "model = Kavro 610\n";
    EXPECT_EQ(Error(head + "master volume = -3\nmaster volum = -3\n"), "line 3: unknown key \"master volum\"");
    EXPECT_EQ(Error(head + "input Input 1/2 left volume = -3\n"),
              "line 2: unknown key \"input Input 1/2 left volume\"");
    EXPECT_EQ(Error(head + "input \"\" left volume = -3\n"), "line 2: unknown key \"input \"\" left volume\"");
    EXPECT_EQ(Error(head + "master volume = -3.5\n"), "line 2: \"-3.5\" is not a whole number");
    EXPECT_EQ(Error(head + "master volume = loud\n"), "line 2: \"loud\" is not a whole number");
    EXPECT_EQ(Error(head + "crossfader = 99999999999999999999\n"),
              "line 2: \"99999999999999999999\" is not a whole number");
    EXPECT_EQ(Error(head + "master volume = 3\n"), "line 2: 3 is out of range for \"master volume\" (-63..0)");
    EXPECT_EQ(Error(head + "\ninput \"Input 1/2\" left pan = -128\n"),
              "line 3: -128 is out of range for \"input \"Input 1/2\" left pan\" (-127..127)");
    EXPECT_EQ(Error(head + "sample rate = 47000\n"),
              "line 2: 47000 is no sample rate (32000, 44100, 48000, 88200, 96000, 176400, 192000)");
    EXPECT_EQ(Error(head + "master mute = maybe\n"), "line 2: \"maybe\" is neither on nor off");
    EXPECT_EQ(Error(head + "clock source = Internal\n"),
              "line 2: \"Internal\" is no clock source (Device, Coax SPDIF, Optical SPDIF, Word Clock, PC)");
    EXPECT_EQ(Error(head + "master volume\n"), "line 2: no \"=\" between key and value");
    EXPECT_EQ(Error(head + "= 3\n"), "line 2: no key before \"=\"");
    EXPECT_EQ(Error(head + "crossfader =\n"), "line 2: no value for \"crossfader\"");
    EXPECT_EQ(Error("master volume = -3\n"), "line 1: the scene names no model (a line \"model = NAME\")");
    EXPECT_EQ(Error(""), "line 1: the scene names no model (a line \"model = NAME\")");
    EXPECT_EQ(Error("model =\n"), "line 1: empty model name");
    EXPECT_EQ(Error(head + "# x\nmodel = Kavro 1814\n"), "line 3: duplicate \"model\" (first on line 1)");
    // Keys count as the same whatever their case and blanks.
    EXPECT_EQ(Error(head + "input \"Input 1/2\" link = on\nINPUT \"Input  1/2\" Link = off\n"),
              "line 3: duplicate \"input \"Input 1/2\" link\" (first on line 2)");
}

TEST(SceneFile, JunkAndHugeInputAreRefused)
{
    const std::string head = "model = Kavro 610\n";
    EXPECT_EQ(Error(head + "crossfader = " + std::string(600, '1') + "\n"),
              "line 2: the line is longer than 512 characters");
    EXPECT_EQ(Error(head + std::string("master mute = o\0n\n", 17)), "line 2: not text (byte 0x00 at column 16)");
    EXPECT_EQ(Error(head + "\x7f\x45LF\x01\x01\n"), "line 2: not text (byte 0x7F at column 1)");
    // Broken UTF-8: a lone continuation byte, a cut sequence, an overlong lead.
    EXPECT_EQ(Error("model = Kavro \x80\n"), "line 1: not text (byte 0x80 at column 15)");
    EXPECT_EQ(Error("model = Kavro \xE2\x82\n"), "line 1: not text (byte 0xE2 at column 15)");
    EXPECT_EQ(Error("model = \xC0\xAF\n"), "line 1: not text (byte 0xC0 at column 9)");
    EXPECT_EQ(Error(std::string(kSceneMaxBytes + 1, '#')), "the file is larger than 64 KiB");
    // Valid UTF-8 in a caption is text.
    Scene s;
    SceneError error;
    EXPECT_TRUE(ParseScene(head + "input \"Eing\xC3\xA4nge \xE2\x82\xAC\" link = on\n", s, error)) << error.Message();
}

TEST(SceneFile, WriterKeepsEachValueOnItsLine)
{
    Scene s;
    s.model = "Kavro\n610";
    s.values = {SceneValue::Of(SceneStrip::Input, "In\r\nput", SceneControl::Link, 1)};
    Scene read;
    SceneError error;
    ASSERT_TRUE(ParseScene(WriteScene(s), read, error)) << error.Message();
    EXPECT_EQ(read.model, "Kavro 610");
    ASSERT_EQ(read.values.size(), 1u);
    EXPECT_EQ(read.values[0].caption, "In put");
}

TEST(SceneFile, FilesRoundTripAndMissingFilesFail)
{
    const std::string path = ::testing::TempDir() + "scene-file-test.scene";
    std::string why;
    ASSERT_TRUE(WriteSceneFile(path, Sample(), why)) << why;
    Scene read;
    SceneError error;
    ASSERT_TRUE(ReadSceneFile(path, read, error)) << error.Message();
    EXPECT_EQ(WriteScene(read), WriteScene(Sample()));
    std::ifstream part(path + ".part");
    EXPECT_FALSE(part.good());
    std::remove(path.c_str());

    EXPECT_FALSE(ReadSceneFile(path, read, error));
    EXPECT_EQ(error.Message(), "cannot open " + path);
    EXPECT_FALSE(WriteSceneFile(::testing::TempDir() + "no/such/dir/x.scene", Sample(), why));
    EXPECT_EQ(why, "cannot write " + ::testing::TempDir() + "no/such/dir/x.scene");
}

// Everything the reader takes must come back through the writer: names up to
// the limit do, with the longest value text beside them, and one byte more is
// refused by both.
TEST(SceneFile, LongestNamesStillReadBack)
{
    const std::string longest(kSceneMaxName, 'x');
    Scene s;
    s.model = longest;
    s.values = {SceneValue::Of(SceneStrip::Input, longest, SceneControl::RightVolume, -63),
                SceneValue::Of(SceneStrip::None, "", SceneControl::ClockSource, 2)};
    Scene read;
    SceneError error;
    ASSERT_TRUE(ParseScene(WriteScene(s), read, error)) << error.Message();
    EXPECT_EQ(WriteScene(read), WriteScene(s));

    // Written without blanks the reader once took a name whose written line it
    // then refused as too long.
    const std::string over(kSceneMaxName + 1, 'x');
    EXPECT_EQ(Error("model=" + over + "\n"), "line 1: the model name is longer than 128 bytes");
    EXPECT_EQ(Error("model = m\ninput \"" + over + "\"link=on\n"), "line 2: the caption is longer than 128 bytes");

    std::string why;
    const std::string path = ::testing::TempDir() + "scene-long-name.scene";
    s.values[0].caption = over;
    EXPECT_FALSE(WriteSceneFile(path, s, why));
    EXPECT_EQ(why.rfind("the caption is longer than 128 bytes", 0), 0u) << why;
    s.values[0].caption = longest;
    s.model = over;
    EXPECT_FALSE(WriteSceneFile(path, s, why));
    EXPECT_EQ(why, "the model name is longer than 128 bytes");
    std::ifstream none(path);
    EXPECT_FALSE(none.good());
}
