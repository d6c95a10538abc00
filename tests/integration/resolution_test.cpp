#include "core/Basefunc.h"
#include "core/Settings.h"
#include "net/AddressResolution.h"

#include "WebPageServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

namespace {

using Page = WebPageServer::Page;

const std::string kRealProbe = std::string(ZUMALO_TEST_BIN_DIR) + "/dat/test.dat";

std::string Probe(const char* name)
{
    const std::string path = std::string(ZUMALO_TEST_SOURCE_DIR) + "/tests/fixtures/probes/" + name;
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string AddressPage(const std::string& text)
{
    return ">> " + text + "</font></h1></td>";
}

Settings LookupSettings(const std::string& lookupHost, const std::string& probe)
{
    Settings settings = Settings::Defaults();
    settings.serverHostUrl = "http://zumalo.test";
    settings.lookupHost = lookupHost;
    settings.webTimeoutSeconds = 5;
    settings.probeProgram = probe;
    return settings;
}

// Points the real probe at 127.0.0.1 and a port of the test's choosing while it lives.
class ProbeTarget
{
public:
    explicit ProbeTarget(int port)
    {
        ::setenv("ZUMALO_PROBE_HOST", "localhost", 1);
        ::setenv("ZUMALO_PROBE_PORT", std::to_string(port).c_str(), 1);
    }
    ~ProbeTarget()
    {
        ::unsetenv("ZUMALO_PROBE_HOST");
        ::unsetenv("ZUMALO_PROBE_PORT");
    }
};

TEST(ResolveServerAddress, LookupFirstThenTheProbe)
{
    struct Case
    {
        const char* what;
        Page lookupPage;
        std::string probe;
        std::string expected;
    };
    const std::string wrong = "domain is wrong.";
    const std::string invalid = Utf8ToGbk("无效的域名.");
    const Case cases[] = {
        {"the lookup names the address: no probe",
         {200, AddressPage("10.1.2.3")},
         Probe("bracketed.sh"),
         "10.1.2.3"},
        {"19 bytes still count as the lookup's answer",
         {200, AddressPage("1234567890123456789")},
         Probe("bracketed.sh"),
         "1234567890123456789"},
        {"20 bytes do not fit: the probe answers",
         {200, AddressPage("12345678901234567890")},
         Probe("bracketed.sh"),
         "10.0.0.7"},
        {"a failure text without its period is taken as the address",
         {200, AddressPage("domain is wrong")},
         Probe("bracketed.sh"),
         "domain is wrong"},
        {"no markers: the probe answers", {200, "no markers"}, Probe("bracketed.sh"), "10.0.0.7"},
        {"the page's own failure text: the probe answers",
         {200, AddressPage(wrong)},
         Probe("bracketed.sh"),
         "10.0.0.7"},
        {"invalid domain: the probe answers",
         {200, Utf8ToGbk("无效的域名")},
         Probe("bracketed.sh"),
         "10.0.0.7"},
        {"probe timed out: the lookup's text stays",
         {200, "no markers"},
         Probe("timed_out.sh"),
         wrong},
        {"probe timed out after an invalid domain",
         {200, Utf8ToGbk("无效的域名")},
         Probe("timed_out.sh"),
         invalid},
        {"probe without brackets", {200, ""}, Probe("no_brackets.sh"), kNoAddress},
        {"probe ends silently", {200, ""}, Probe("silent.sh"), kNoAddress},
        {"an empty answer is no address",
         {200, AddressPage("")},
         Probe("bracketed.sh"),
         kNoAddress},
        {"probe missing", {200, ""}, Probe("no-such-probe.sh"), kNoAddress},
    };
    WebPageServer lookup;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        lookup.Serve(c.lookupPage);
        Session session;
        ResolveServerAddress(session, LookupSettings(lookup.Host(), c.probe));
        EXPECT_EQ(session.ServerAddress, c.expected);
        EXPECT_EQ(lookup.Last().params.find("ip")->second, "http://zumalo.test");
    }
}

TEST(ResolveServerAddress, ALookupPageThatCannotBeReachedFallsBackOnTheProbe)
{
    ClosedPort closed;
    Session session;
    ResolveServerAddress(session, LookupSettings(closed.Host(), Probe("bracketed.sh")));
    EXPECT_EQ(session.ServerAddress, "10.0.0.7");
}

TEST(ResolveServerAddress, TheProbeIsFoundUnderTheProgramDirectory)
{
    Settings settings;
    settings.probeProgram = "dat/test.dat";
    EXPECT_EQ(ProbePath(settings), ProgramDir() + "dat/test.dat");
    settings.probeProgram = "/opt/probe";
    EXPECT_EQ(ProbePath(settings), "/opt/probe");
}

// --- the real probe, dat/test.dat --------------------------------------------------------

TEST(AddressProbe, NamesTheAddressWhenTheServerAnswers)
{
    WebPageServer listening;
    ProbeTarget target(listening.Port());
    const std::string output = Ping(kRealProbe);
    EXPECT_EQ(output.rfind("Pinging localhost [127.0.0.1]", 0), 0u) << output;
    EXPECT_EQ(output.find("Request timed out."), std::string::npos) << output;
    EXPECT_EQ(AnalyzeIp(output), "127.0.0.1");
}

TEST(AddressProbe, ReportsATimeOutWhenTheServerDoesNotAnswer)
{
    ClosedPort closed;
    ProbeTarget target(closed.Port());
    const std::string output = Ping(kRealProbe);
    EXPECT_NE(output.find("Request timed out."), std::string::npos) << output;
}

TEST(AddressProbe, ReportsATimeOutWhenTheHostDoesNotResolve)
{
    ::setenv("ZUMALO_PROBE_HOST", "server.zumalo.invalid", 1);
    const std::string output = Ping(kRealProbe);
    ::unsetenv("ZUMALO_PROBE_HOST");
    EXPECT_NE(output.find("Request timed out."), std::string::npos) << output;
}

TEST(AddressProbe, ResolutionUsesItWhenTheLookupFails)
{
    WebPageServer lookup; // serves an empty page: "domain is wrong."
    {
        ProbeTarget target(lookup.Port());
        Session session;
        ResolveServerAddress(session, LookupSettings(lookup.Host(), kRealProbe));
        EXPECT_EQ(session.ServerAddress, "127.0.0.1");
    }
    {
        ClosedPort closed;
        ProbeTarget target(closed.Port());
        Session session;
        ResolveServerAddress(session, LookupSettings(lookup.Host(), kRealProbe));
        EXPECT_EQ(session.ServerAddress, "domain is wrong.");
    }
}

} // namespace
