// The fault scenarios' "#:" directives, and every scenario file of the
// matrix loading as a rig file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "faults/FaultScenario.h"
#include "sim/RigFile.h"

namespace {

using qel::faults::isFor;
using qel::faults::parseExpectations;

TEST(FaultScenario, DirectivesAreRead)
{
    std::string error;
    const auto e = parseExpectations("# The cable is pulled.\n"
                                     "# More words.\n"
                                     "#: box The device is gone.\n"
                                     "#:   box   Second box  \n"
                                     "#: box Two\\nlines\n"
                                     "#: tabs 3\n"
                                     "#: connected Stage 1814 no\n"
                                     "#: connected Studio 610 yes\n"
                                     "#: settle 2.5s\n"
                                     "base default\n"
                                     "# not the summary\n",
                                     error);
    ASSERT_TRUE(e) << error;
    EXPECT_EQ(e->summary, "The cable is pulled.");
    EXPECT_EQ(e->boxes, (std::vector<std::string>{"The device is gone.", "Second box", "Two\nlines"}));
    EXPECT_FALSE(e->noBoxes);
    EXPECT_EQ(e->tabs, 3);
    ASSERT_EQ(e->connected.size(), 2u);
    EXPECT_EQ(e->connected[0], (std::pair<std::string, bool>{"Stage 1814", false}));
    EXPECT_EQ(e->connected[1], (std::pair<std::string, bool>{"Studio 610", true}));
    EXPECT_EQ(e->settle, std::chrono::milliseconds(2500));
    EXPECT_FALSE(e->rigProcess);
    const auto onRigProcess = parseExpectations("#: rig-process\n", error);
    ASSERT_TRUE(onRigProcess) << error;
    EXPECT_TRUE(onRigProcess->rigProcess);
    EXPECT_TRUE(isFor(*e, "mixer"));
    EXPECT_TRUE(isFor(*e, "control-panel"));
    const auto mixerOnly = parseExpectations("#: programs mixer\n", error);
    ASSERT_TRUE(mixerOnly) << error;
    EXPECT_TRUE(isFor(*mixerOnly, "mixer"));
    EXPECT_FALSE(isFor(*mixerOnly, "control-panel"));
    const auto both = parseExpectations("#: programs control-panel  mixer\n", error);
    ASSERT_TRUE(both) << error;
    EXPECT_EQ(both->programs, (std::vector<std::string>{"control-panel", "mixer"}));

    const auto plain = parseExpectations("[timeline]\nat 1s bus-reset\n", error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->boxes.empty());
    EXPECT_FALSE(plain->tabs);
    EXPECT_EQ(plain->settle, std::chrono::milliseconds(1500));
}

TEST(FaultScenario, UserStepsAreReadInOrder)
{
    std::string error;
    const auto e = parseExpectations("#: user 500ms hold 1 main 20\n"
                                     "#: user 1s hold 0 in12-right 63\n"
                                     "#: user 1s release\n"
                                     "#: user 3.5s rate 96000\n",
                                     error);
    ASSERT_TRUE(e) << error;
    ASSERT_EQ(e->steps.size(), 4u);
    EXPECT_EQ(e->steps[0].at, std::chrono::milliseconds(500));
    EXPECT_EQ(e->steps[0].words, (std::vector<std::string>{"hold", "1", "main", "20"}));
    EXPECT_EQ(e->steps[1].words, (std::vector<std::string>{"hold", "0", "in12-right", "63"}));
    EXPECT_EQ(e->steps[2].words, (std::vector<std::string>{"release"}));
    EXPECT_EQ(e->steps[3].at, std::chrono::milliseconds(3500));
    EXPECT_EQ(e->steps[3].words, (std::vector<std::string>{"rate", "96000"}));
    EXPECT_EQ(e->steps[3].line, 4u);
}

// A typo must not drop an expectation silently.
TEST(FaultScenario, MalformedDirectivesNameTheirLine)
{
    const char* const kUserAction = "line 1: expected: #: user TIME hold TAB main|phones|inN-left|inN-right POSITION, "
                                    "#: user TIME release or #: user TIME rate HZ";
    const std::pair<const char*, const char*> cases[] = {
        {"#: bxo hello\n", "line 1: unknown directive 'bxo' (box, boxes, tabs, connected, settle, programs, rig-process, user)"},
        {"\n#: box\n", "line 2: expected: #: box TEXT"},
        {"#: boxes some\n", "line 1: expected: #: boxes none"},
        {"#: tabs three\n", "line 1: expected: #: tabs N (0 to 99)"},
        {"#: tabs 100\n", "line 1: expected: #: tabs N (0 to 99)"},
        {"#: tabs -1\n", "line 1: expected: #: tabs N (0 to 99)"},
        {"#: connected yes\n", "line 1: expected: #: connected NAME yes|no"},
        {"#: connected Stage 1814 maybe\n", "line 1: expected: #: connected NAME yes|no"},
        {"#: settle 2\n", "line 1: expected: #: settle TIME (like 2s or 500ms, at most 60s)"},
        {"#: settle 61s\n", "line 1: expected: #: settle TIME (like 2s or 500ms, at most 60s)"},
        {"#: settle -1s\n", "line 1: expected: #: settle TIME (like 2s or 500ms, at most 60s)"},
        {"#: boxes none\n#: box x\n", "'#: boxes none' and '#: box' together"},
        {"#: programs\n", "line 1: expected: #: programs mixer|control-panel ..."},
        {"#: programs mixer panel\n", "line 1: expected: #: programs mixer|control-panel ..."},
        {"#: rig-process now\n", "line 1: expected: #: rig-process"},
        {"#: user 1s\n", kUserAction},
        {"#: user hold 0 main 3\n", "line 1: expected: #: user TIME ACTION (TIME like 1s or 500ms, at most 120s)"},
        {"#: user 121s release\n", "line 1: expected: #: user TIME ACTION (TIME like 1s or 500ms, at most 120s)"},
        {"#: user 1s hold 0 master 3\n", kUserAction},
        {"#: user 1s hold 0 in0-left 3\n", kUserAction},
        {"#: user 1s hold 0 in1-middle 3\n", kUserAction},
        {"#: user 1s hold 64 main 3\n", kUserAction},
        {"#: user 1s hold 0 main\n", kUserAction},
        {"#: user 1s hold 0 main -3\n", kUserAction},
        {"#: user 1s release now\n", kUserAction},
        {"#: user 1s rate\n", kUserAction},
        {"#: user 1s rate 48k\n", kUserAction},
        {"#: user 1s wave\n", kUserAction},
        {"#: user 2s release\n#: user 1s rate 48000\n", "line 2: user steps out of time order"},
    };
    for (const auto& [text, want] : cases) {
        std::string error;
        EXPECT_FALSE(parseExpectations(text, error)) << text;
        EXPECT_EQ(error, want) << text;
    }
}

// Each scenario of the matrix is a rig file a user can hand to the rig
// process, with a summary and a timeline.
TEST(FaultScenario, EveryScenarioFileLoads)
{
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QEL_FAULTS_DIR)) {
        if (entry.path().extension() != ".rig") continue;
        ++files;
        std::ifstream in(entry.path());
        std::ostringstream text;
        text << in.rdbuf();
        std::string error;
        const auto e = parseExpectations(text.str(), error);
        ASSERT_TRUE(e) << entry.path() << ": " << error;
        EXPECT_FALSE(e->summary.empty()) << entry.path();
        qel::sim::Timeline timeline;
        EXPECT_TRUE(qel::sim::loadRig(text.str(), error, &timeline)) << entry.path() << ": " << error;
        EXPECT_FALSE(timeline.empty()) << entry.path();
    }
    EXPECT_GE(files, 24u);
}

}  // namespace
