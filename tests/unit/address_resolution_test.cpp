#include "net/AddressResolution.h"

#include "NetKinds.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace std::chrono_literals;

std::string Probe(const char* name)
{
    const std::string path = std::string(ZUMALO_TEST_SOURCE_DIR) + "/tests/fixtures/probes/" + name;
    ::chmod(path.c_str(), 0755); // in case a checkout dropped the mode
    return path;
}

// Whether the process pid still exists, a zombie included.
bool Exists(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

TEST(AnalyzeIp, TakesTheTextBetweenTheFirstBrackets)
{
    struct Case
    {
        const char* text;
        std::string expected;
    };
    const Case cases[] = {
        {"Pinging zumalo.test [10.0.0.7] with 32 bytes of data:", "10.0.0.7"},
        {"[1.2.3.4] [5.6.7.8]", "1.2.3.4"},
        {"[]", ""},
        {"a ] b [10.0.0.7", "10.0.0.7"},       // "]" before "[": everything after "["
        {"a ] b [10.0.0.7] c", "10.0.0.7] c"}, // only the first "]" counts
        {"", "text param is nil of AnalyzeIp function"},
        {"Ping request could not find host zumalo.test.", kNoAddress},
        {"only [ opens", kNoAddress},
        {"only ] closes", kNoAddress},
        {"CreateProcess error:2", kNoAddress},
        {kProbeFailed, kNoAddress},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text: ") + c.text);
        EXPECT_EQ(AnalyzeIp(c.text), c.expected);
    }
}

TEST(Ping, GivesTheFirstChunkOfTheProbesOutputOrAFailureText)
{
    using Kind = ProbeOutput::Kind;
    struct Case
    {
        const char* what;
        std::string exe;
        Kind kind;
        std::string text;
    };
    const Case cases[] = {
        {"bracketed address", Probe("bracketed.sh"), Kind::Answered,
         "Pinging zumalo.test [10.0.0.7] with 32 bytes of data:\r\n"},
        {"no brackets is still an answer", Probe("no_brackets.sh"), Kind::Answered,
         "Ping request could not find host zumalo.test.\r\n"},
        {"timed out after the address", Probe("timed_out.sh"), Kind::ServerTimedOut,
         "Pinging zumalo.test [10.0.0.7] with 32 bytes of data:\r\nRequest timed out.\r\n"},
        {"ends without output", Probe("silent.sh"), Kind::Ended, kProbeFailed},
        {"missing file", Probe("no-such-probe.sh"), Kind::NotStarted, "CreateProcess error:2"},
        {"a directory", std::string(ZUMALO_TEST_SOURCE_DIR) + "/tests/fixtures/probes",
         Kind::NotStarted, "CreateProcess error:13"},
        {"no program", "", Kind::NotStarted, "Ping function's exe param is NULL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProbeOutput output = Ping(c.exe, 5s);
        EXPECT_EQ(output.kind, c.kind);
        EXPECT_EQ(output.text, c.text);
    }
}

TEST(Ping, KeepsOnlyTheFirst4096Bytes)
{
    const std::string output = Ping(Probe("flood.sh"), 5s).text;
    EXPECT_EQ(output.size(), 4096u);
    EXPECT_EQ(output.substr(0, 10), "[10.0.0.7]");
}

// The probe's later output is never read, so the probe is ended and reaped rather than
// left running or as a zombie; one that never writes is bounded by the wait.
class PingProbeProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pidFile = std::filesystem::temp_directory_path()
            / ("zumalo_probe_" + std::to_string(::getpid()) + ".pid");
        ::setenv("ZUMALO_PROBE_PIDFILE", m_pidFile.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("ZUMALO_PROBE_PIDFILE");
        std::filesystem::remove(m_pidFile);
    }
    pid_t ProbePid() const
    {
        pid_t pid = 0;
        std::ifstream(m_pidFile) >> pid;
        return pid;
    }

    std::filesystem::path m_pidFile;
};

TEST_F(PingProbeProcess, AProbeStillRunningAfterItsFirstChunkIsEnded)
{
    EXPECT_EQ(Ping(Probe("bracketed.sh"), 5s).text,
              "Pinging zumalo.test [10.0.0.7] with 32 bytes of data:\r\n");
    const pid_t pid = ProbePid();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(Exists(pid));
}

TEST_F(PingProbeProcess, AProbeThatNeverWritesTimesOutAndIsEnded)
{
    const ProbeOutput output = Ping(Probe("sleeps.sh"), 600ms);
    EXPECT_EQ(output.kind, ProbeOutput::Kind::WaitExpired);
    EXPECT_EQ(output.text, "Request timed out.");
    const pid_t pid = ProbePid();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(Exists(pid));
}

} // namespace
