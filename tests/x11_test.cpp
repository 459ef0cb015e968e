// The real program against real X servers (Xvfb), byte for byte.
#include <gtest/gtest.h>

#include "process.h"
#include "xvfb.h"

namespace {

using Commands = std::vector<std::vector<std::string>>;

Outcome RunOn(const std::string& display)
{
    Launch launch;
    launch.argv = {REAL_PROGRAM};
    launch.env = {display.empty() ? "DISPLAY" : "DISPLAY=" + display};
    return RunProgram(launch);
}

std::vector<std::string> Monitor(const std::string& name, int x)
{
    return {"--setmonitor", name, "300/100x200/100+" + std::to_string(x) + "+0", "none"};
}

struct ServerCase {
    const char* name;
    Commands xrandr;
    std::string expected;
};

void PrintTo(const ServerCase& c, std::ostream* os)
{
    *os << c.name;
}

class Server : public testing::TestWithParam<ServerCase> {};

TEST_P(Server, ListsTheMonitorsOfTheServer)
{
    Xvfb server;
    for (const std::vector<std::string>& args : GetParam().xrandr) {
        ASSERT_EQ(server.Xrandr(args), 0);
    }
    const Outcome outcome = RunOn(server.display());
    EXPECT_EQ(outcome.out, GetParam().expected);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

const std::string kLong = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
const std::vector<std::string> kScreenPrimary = {"--output", "screen", "--primary"};

// Xvfb's own monitor is "screen"; it marks no primary until told to, and lists a primary first.
INSTANTIATE_TEST_SUITE_P(
    Xvfb, Server,
    testing::Values(
        ServerCase{"DefaultServer", {}, "screen\tfalse\n"},
        ServerCase{"PrimaryOutput", {kScreenPrimary}, "screen\ttrue\n"},
        ServerCase{"SeveralMonitorsOnePrimary",
                   {Monitor("A", 0), Monitor("*B", 300), Monitor("C", 600)},
                   "B\ttrue\nA\tfalse\nC\tfalse\nscreen\tfalse\n"},
        ServerCase{"TwoMarkedPrimaryOnlyTheFirstIs",
                   {kScreenPrimary, Monitor("*B", 300)},
                   "B\ttrue\nscreen\tfalse\n"},
        ServerCase{"NoMonitor", {{"--fb", "1024x768", "--output", "screen", "--off"}}, ""},
        // xrandr --listmonitors shows it; --listactivemonitors, as the desktop, does not.
        ServerCase{"MonitorOfSize0x0IsNotActive", {{"--setmonitor", "ZERO", "0/0x0/0+0+0", "none"}},
                   "screen\tfalse\n"},
        ServerCase{"LongNameKeepsItsFirst31", {Monitor(kLong, 0)},
                   kLong.substr(0, 31) + "\tfalse\nscreen\tfalse\n"},
        ServerCase{"ControlCharactersBecomeQuestionMarks", {Monitor("tab\there\nnew\r\x1b\x7f", 0)},
                   "tab?here?new???\tfalse\nscreen\tfalse\n"}),
    [](const testing::TestParamInfo<ServerCase>& info) { return info.param.name; });

TEST(NoServer, EmptyReportQuietlyAndStatus0)
{
    for (const char* display : {":4091", "nosuchhost:0", "not a display"}) {
        const Outcome outcome = RunOn(display);
        EXPECT_EQ(outcome.out, "") << display;
        EXPECT_EQ(outcome.err, "") << display;
        EXPECT_EQ(outcome.status, 0) << display;
    }
}

// Without RandR 1.5 there are no monitors to ask for: as Windows (Wine) does there, the screen,
// or each Xinerama head; unnamed and none primary, since such a server gives neither.
void ExpectWithoutRandr(const std::vector<std::string>& extra, const std::string& expected)
{
    std::vector<std::string> args = {"-extension", "RANDR", "-screen", "0", "800x600x24"};
    args.insert(args.end(), extra.begin(), extra.end());
    Xvfb server(args);
    const Outcome outcome = RunOn(server.display());
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

TEST(WithoutRandr, ListsTheScreen)
{
    ExpectWithoutRandr({"-screen", "1", "640x480x24"}, "\tfalse\n");
}

TEST(WithoutRandr, ListsEachXineramaHead)
{
    ExpectWithoutRandr({"-screen", "1", "640x480x24", "+xinerama"}, "\tfalse\n\tfalse\n");
}

}  // namespace
