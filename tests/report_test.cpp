// The report and the run over the scripted fake: what a real server cannot produce, and how the
// process meets its standard streams.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "process.h"

namespace {

Launch Fake(const std::string& script)
{
    Launch launch;
    launch.argv = {FAKE_PROGRAM};
    launch.env = {"FAKE_MONITORS=" + script};
    return launch;
}

const std::string kName31 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";

struct ReportCase {
    const char* name;
    std::string script;
    std::string expected;
};

void PrintTo(const ReportCase& c, std::ostream* os)
{
    *os << c.name;
}

class Report : public testing::TestWithParam<ReportCase> {};

TEST_P(Report, WritesOneLinePerMonitorInOrder)
{
    const Outcome outcome = RunProgram(Fake(GetParam().script));
    EXPECT_EQ(outcome.out, GetParam().expected);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fake, Report,
    testing::Values(ReportCase{"SingleMonitor", "1|\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1\ttrue\n"},
                    ReportCase{"PrimaryFirst", "1|A\n0|B", "A\ttrue\nB\tfalse\n"},
                    ReportCase{"PrimaryNotFirst", "0|A\n1|B\n0|C", "A\tfalse\nB\ttrue\nC\tfalse\n"},
                    ReportCase{"NoPrimary", "0|A\n0|B", "A\tfalse\nB\tfalse\n"},
                    ReportCase{"OtherFlagBitsBesidePrimary", "ffffffff|A", "A\ttrue\n"},
                    ReportCase{"OtherFlagBitsWithoutPrimary", "fffffffe|A", "A\tfalse\n"},
                    ReportCase{"FailingQueryLeavesTheZeroFill", "1|A\nfail|B\n0|C",
                               "A\ttrue\n\tfalse\nC\tfalse\n"},
                    ReportCase{"NameOf31CharactersWhole", "1|" + kName31, kName31 + "\ttrue\n"},
                    ReportCase{"NameWrittenUnchanged", "1| two  spaces ", " two  spaces \ttrue\n"},
                    ReportCase{"NoMonitor", "", ""}),
    [](const testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

const char kTwoMonitors[] = "1|A\n0|B";
const char kTwoLines[] = "A\ttrue\nB\tfalse\n";

TEST(Run, IgnoresArguments)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-x", "y"}, {""}, {"A\tfalse", "\n"}}) {
        Launch launch = Fake(kTwoMonitors);
        launch.argv.insert(launch.argv.end(), args.begin(), args.end());
        const Outcome outcome = RunProgram(launch);
        EXPECT_EQ(outcome.out, kTwoLines);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.status, 0);
    }
}

TEST(Run, EndsWhenStandardInputIsEmptyOrClosed)
{
    for (Input input : {Input::kEmpty, Input::kClosed}) {
        Launch launch = Fake(kTwoMonitors);
        launch.input = input;
        const Outcome outcome = RunProgram(launch);
        EXPECT_EQ(outcome.out, kTwoLines);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.status, 0);
    }
}

TEST(Run, TenMegabytesOfBinaryInputEndTheRunAfterOneCharacter)
{
    char path[] = "/tmp/monitor_listing_input.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string block(1 << 20, '\0');
    unsigned seed = 1;
    for (char& byte : block) {
        byte = char(rand_r(&seed));
    }
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(write(fd, block.data(), block.size()), ssize_t(block.size()));
    }
    close(fd);

    Launch launch = Fake(kTwoMonitors);
    launch.input = Input::kFile;
    launch.input_file = path;
    const Outcome outcome = RunProgram(launch);
    unlink(path);
    EXPECT_EQ(outcome.out, kTwoLines);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

TEST(Run, ReportReachesAPipeBeforeTheWaitAndOneCharacterEndsIt)
{
    Launch launch = Fake(kTwoMonitors);
    launch.input = Input::kPipe;
    Process process(launch);
    EXPECT_EQ(process.ReadOutput(sizeof kTwoLines - 1), kTwoLines);
    EXPECT_TRUE(process.Running());

    // Several characters on an input that stays open: the first one ends the run.
    process.Write("abc");
    for (int i = 0; i < 1000 && process.Running(); ++i) {
        usleep(10000);
    }
    EXPECT_FALSE(process.Running());
    const Outcome outcome = process.Finish();
    EXPECT_EQ(outcome.out, kTwoLines);
    EXPECT_EQ(outcome.status, 0);
}

struct WriteFailure {
    Output output;
    const char* error;
    std::string script;
};

// A pipe that the reader leaves full while the report is written, then drains during a pause:
// the last writes and the flush go through, but a report with a hole in it is still a failure.
std::string LargerThanAPipe()
{
    std::string script;
    for (int i = 0; i < 3000; ++i) {
        script += "0|" + kName31 + "\n";
    }
    return script + "pause|last";
}

TEST(Run, ReportThatCannotBeWrittenEndsWithStatus1AfterTheWait)
{
    for (const WriteFailure& failure : {WriteFailure{Output::kDevFull, "No space left on device", kTwoMonitors},
                                        WriteFailure{Output::kClosed, "Bad file descriptor", kTwoMonitors},
                                        WriteFailure{Output::kNonBlockingPipe, "Resource temporarily unavailable",
                                                     LargerThanAPipe()}}) {
        Launch launch = Fake(failure.script);
        launch.input = Input::kPipe;
        launch.output = failure.output;
        Process process(launch);
        usleep(200000);
        EXPECT_TRUE(process.Running()) << failure.error;
        EXPECT_FALSE(process.ErrorWritten()) << failure.error << ": said before the wait";
        process.Write("\n");
        const Outcome outcome = process.Finish();
        EXPECT_EQ(outcome.err, std::string("monitor_listing: cannot write the report: ") + failure.error + "\n");
        EXPECT_EQ(outcome.status, 1);
    }
}

TEST(Run, EmptyReportToAFullDeviceIsNoFailure)
{
    Launch launch = Fake("");
    launch.output = Output::kDevFull;
    const Outcome outcome = RunProgram(launch);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

// A pipe whose reader has gone ends the writer by SIGPIPE, as for any filter in a pipeline.
TEST(Run, PipeWithoutReaderEndsBySigpipe)
{
    Launch launch = Fake(kTwoMonitors);
    launch.output = Output::kReaderGone;
    const Outcome outcome = RunProgram(launch);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 128 + SIGPIPE);
}

}  // namespace
