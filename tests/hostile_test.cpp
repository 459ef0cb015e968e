// The real program against X servers that refuse it, break off, stall or answer strangely.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "process.h"
#include "xvfb.h"

namespace {

using Options = std::vector<std::string>;

double Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A server in tests/stand_in_x_server.py, serving with these options until the test ends.
class StandIn {
public:
    explicit StandIn(const Options& options)
    {
        // Like Xvfb -displayfd, the server writes its display number once it is listening.
        Options argv = {"/usr/bin/python3", STAND_IN_SERVER};
        argv.insert(argv.end(), options.begin(), options.end());
        std::string number;
        pid_ = StartDisplayServer(argv, 1, &number);
        const bool tcp = std::find(options.begin(), options.end(), "--tcp") != options.end();
        display_ = (tcp ? "127.0.0.1:" : ":") + number;
    }
    ~StandIn()
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Ending {
    Outcome outcome;
    double seconds = 0;
};

// Runs the program on `display`. One still running after 10 s is killed, and reported as
// status -1, so that a hang costs a bounded time and fails every expectation.
Ending RunOn(const std::string& display, const Options& env = {})
{
    Launch launch;
    launch.argv = {REAL_PROGRAM};
    launch.env = {"DISPLAY=" + display};
    launch.env.insert(launch.env.end(), env.begin(), env.end());
    Process process(launch);
    Ending run;
    const double start = Now();
    while (process.Running() && Now() - start < 10) {
        usleep(2000);
    }
    run.seconds = Now() - start;
    if (!process.Running()) {
        run.outcome = process.Finish();
    }
    return run;
}

std::string Hex(const std::string& bytes)
{
    std::string hex;
    char digits[3];
    for (unsigned char byte : bytes) {
        snprintf(digits, sizeof digits, "%02x", byte);
        hex += digits;
    }
    return hex;
}

Options Monitor(const std::string& name, bool primary = false)
{
    return {"--monitor", Hex(name) + (primary ? ":primary" : "")};
}

Options operator+(Options a, const Options& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct StandInCase {
    const char* name;
    Options options;
    std::string expected;
};

void PrintTo(const StandInCase& c, std::ostream* os)
{
    *os << c.name;
}

class StandInServer : public testing::TestWithParam<StandInCase> {};

// Whatever the server does, the program writes what it read, says nothing and is done within 6 s:
// it gives a server up once it has completed no stage for 5 s.
TEST_P(StandInServer, ReportsWhatWasReadQuietlyWithin6s)
{
    StandIn server(GetParam().options);
    const Ending run = RunOn(server.display());
    EXPECT_EQ(run.outcome.out, GetParam().expected);
    EXPECT_EQ(run.outcome.err, "");
    EXPECT_EQ(run.outcome.status, 0);
    EXPECT_LT(run.seconds, 6.0);
}

std::string CaseName(const testing::TestParamInfo<StandInCase>& info)
{
    return info.param.name;
}

// DP-1 is primary; HDMI-2 is not.
const Options kTwo = Monitor("DP-1", true) + Monitor("HDMI-2");
const std::string kTwoLines = "DP-1\ttrue\nHDMI-2\tfalse\n";
// What is left when the monitors are read but the server goes before or while naming them.
const std::string kUnnamed = "\ttrue\n\tfalse\n";
const std::string kFirstNamed = "DP-1\ttrue\n\tfalse\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, StandInServer,
    testing::Values(StandInCase{"TwoMonitors", kTwo, kTwoLines},
                    StandInCase{"TwoMonitorsOverTcp", kTwo + Options{"--tcp"}, kTwoLines},
                    StandInCase{"RandrOlderThan15ListsTheScreen", kTwo + Options{"--randr=1.4"}, "\tfalse\n"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    ClosesPartWay, StandInServer,
    testing::Values(StandInCase{"BeforeTheSetupReply", kTwo + Options{"--close-after=connect"}, ""},
                    StandInCase{"InsideTheSetupReply", kTwo + Options{"--close-during=setup"}, ""},
                    StandInCase{"AfterTheSetupReply", kTwo + Options{"--close-after=setup"}, ""},
                    StandInCase{"StopsReadingAtTheSetupReply", kTwo + Options{"--gone-after=setup"}, ""},
                    StandInCase{"InsideQueryExtension", kTwo + Options{"--close-during=extension"}, ""},
                    StandInCase{"AfterQueryExtension", kTwo + Options{"--close-after=extension"}, ""},
                    StandInCase{"InsideQueryVersion", kTwo + Options{"--close-during=version"}, ""},
                    StandInCase{"AfterQueryVersion", kTwo + Options{"--close-after=version"}, ""},
                    StandInCase{"InsideGetMonitors", kTwo + Options{"--close-during=monitors"}, ""},
                    StandInCase{"AfterGetMonitors", kTwo + Options{"--close-after=monitors"}, kUnnamed},
                    StandInCase{"InsideTheFirstName", kTwo + Options{"--close-during=name"}, kUnnamed},
                    StandInCase{"AfterTheFirstName", kTwo + Options{"--close-after=name"}, kFirstNamed}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    StallsPartWay, StandInServer,
    testing::Values(StandInCase{"NeverAccepts", kTwo + Options{"--never-accept"}, ""},
                    StandInCase{"NeverAcceptsOverTcp", kTwo + Options{"--never-accept", "--tcp"}, ""},
                    StandInCase{"AcceptsAndNeverAnswers", kTwo + Options{"--silent"}, ""},
                    StandInCase{"AcceptsAndNeverAnswersOverTcp", kTwo + Options{"--silent", "--tcp"}, ""},
                    StandInCase{"InsideTheSetupReply", kTwo + Options{"--stall-during=setup"}, ""},
                    StandInCase{"AfterTheSetupReply", kTwo + Options{"--stall-after=setup"}, ""},
                    StandInCase{"AfterQueryExtension", kTwo + Options{"--stall-after=extension"}, ""},
                    StandInCase{"AfterQueryVersion", kTwo + Options{"--stall-after=version"}, ""},
                    StandInCase{"InsideGetMonitors", kTwo + Options{"--stall-during=monitors"}, ""},
                    StandInCase{"AfterGetMonitors", kTwo + Options{"--stall-after=monitors"}, kUnnamed},
                    StandInCase{"InsideTheFirstName", kTwo + Options{"--stall-during=name"}, kUnnamed},
                    StandInCase{"AfterTheFirstName", kTwo + Options{"--stall-after=name"}, kFirstNamed}),
    CaseName);

// The server's reason is for a human; the program's report has no place for it.
INSTANTIATE_TEST_SUITE_P(
    Refuses, StandInServer,
    testing::Values(StandInCase{"WithAReason", kTwo + Options{"--refuse=Client is not authorized"}, ""},
                    StandInCase{"AskingForMoreAuthentication", kTwo + Options{"--authenticate=Say more"},
                                ""}),
    CaseName);

// Names holding every byte value 0x00..0xFF, 16 to a monitor, decoded as UTF-8: in ascending
// runs no byte from 0x80 up starts a whole character, so each one is U+FFFD. Every name stays
// on its one line.
StandInCase EveryByteValue()
{
    StandInCase c{"EveryByteValue", {}, ""};
    std::string replaced;
    for (int i = 0; i < 16; ++i) {
        replaced += "\xef\xbf\xbd";
    }
    for (int first = 0; first < 256; first += 16) {
        std::string name;
        for (int byte = first; byte < first + 16; ++byte) {
            name += char(byte);
        }
        c.options = c.options + Monitor(name);
        c.expected += first < 0x20 ? std::string(16, '?') : first == 0x70 ? "pqrstuvwxyz{|}~?" : first < 0x80 ? name : replaced;
        c.expected += "\tfalse\n";
    }
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Names, StandInServer,
    testing::Values(EveryByteValue(),
                    StandInCase{"SameNameTwice", Monitor("DP-1") + Monitor("DP-1", true),
                                "DP-1\tfalse\nDP-1\ttrue\n"},
                    StandInCase{"TwoPrimariesNeitherFirst",
                                Monitor("A") + Monitor("B", true) + Monitor("C", true),
                                "A\tfalse\nB\ttrue\nC\tfalse\n"},
                    StandInCase{"NameTheServerCannotGive",
                                Monitor("DP-1") + Options{"--monitor", "!:primary"} + Monitor("HDMI-2"),
                                "DP-1\tfalse\n\ttrue\nHDMI-2\tfalse\n"}),
    CaseName);

// 200 user-defined monitors, made by one xrandr run; Xvfb lists the primary first, then the
// others in the order made, then its own "screen".
TEST(ManyMonitors, TwoHundredOnXvfb)
{
    Xvfb server;
    Options args;
    std::string expected = "M150\ttrue\n";
    for (int i = 0; i < 200; ++i) {
        char name[8];
        snprintf(name, sizeof name, "M%03d", i);
        args = args + Options{"--setmonitor", (i == 150 ? "*" : "") + std::string(name),
                              "10/10x10/10+" + std::to_string(i * 5) + "+0", "none"};
        if (i != 150) {
            expected += std::string(name) + "\tfalse\n";
        }
    }
    expected += "screen\tfalse\n";
    ASSERT_EQ(server.Xrandr(args), 0);

    const Ending run = RunOn(server.display());
    EXPECT_EQ(run.outcome.out, expected);
    EXPECT_EQ(run.outcome.err, "");
    EXPECT_EQ(run.outcome.status, 0);
}

}  // namespace
