#include "core/GbkText.h"
#include "core/ProgramDir.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "net/AddressResolution.h"

#include "ClosedPort.h"
#include "NetKinds.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

namespace {

using Page = TestHttpServer::Page;

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

// Each way resolution can end, with the text every later connection then uses as its host.
TEST(ResolveAddress, LookupFirstThenTheProbe)
{
    using Kind = Resolution::Kind;
    struct Case
    {
        const char* what;
        Page lookupPage;
        std::string probe;
        Kind kind;
        std::string text;
    };
    const std::string wrong = "domain is wrong.";
    const std::string invalid = Utf8ToGbk("无效的域名.");
    const Case cases[] = {
        {"the lookup names the address: no probe",
         {200, AddressPage("10.1.2.3")},
         Probe("timed_out.sh"),
         Kind::LookedUp,
         "10.1.2.3"},
        {"19 bytes still count as the lookup's answer",
         {200, AddressPage("1234567890123456789")},
         Probe("bracketed.sh"),
         Kind::LookedUp,
         "1234567890123456789"},
        {"20 bytes do not fit: the probe answers",
         {200, AddressPage("12345678901234567890")},
         Probe("bracketed.sh"),
         Kind::Probed,
         "10.0.0.7"},
        {"a failure text without its period is taken as the address",
         {200, AddressPage("domain is wrong")},
         Probe("bracketed.sh"),
         Kind::LookedUp,
         "domain is wrong"},
        {"no markers: the probe answers",
         {200, "no markers"},
         Probe("bracketed.sh"),
         Kind::Probed,
         "10.0.0.7"},
        {"the page's own failure text: the probe answers",
         {200, AddressPage(wrong)},
         Probe("bracketed.sh"),
         Kind::Probed,
         "10.0.0.7"},
        {"invalid domain: the probe answers",
         {200, Utf8ToGbk("无效的域名")},
         Probe("bracketed.sh"),
         Kind::Probed,
         "10.0.0.7"},
        {"probe timed out: the lookup's text stays",
         {200, "no markers"},
         Probe("timed_out.sh"),
         Kind::ProbeTimedOut,
         wrong},
        {"probe timed out after an invalid domain",
         {200, Utf8ToGbk("无效的域名")},
         Probe("timed_out.sh"),
         Kind::ProbeTimedOut,
         invalid},
        {"probe without brackets", {200, ""}, Probe("no_brackets.sh"), Kind::NoAddress, kNoAddress},
        {"probe ends silently", {200, ""}, Probe("silent.sh"), Kind::NoAddress, kNoAddress},
        {"an empty answer is no address",
         {200, AddressPage("")},
         Probe("bracketed.sh"),
         Kind::NoAddress,
         kNoAddress},
        {"probe missing", {200, ""}, Probe("no-such-probe.sh"), Kind::NoAddress, kNoAddress},
    };
    TestHttpServer lookup;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        lookup.ServeAll(c.lookupPage);
        const Resolution resolved = ResolveAddress(LookupSettings(lookup.Host(), c.probe));
        EXPECT_EQ(resolved.kind, c.kind);
        EXPECT_EQ(resolved.text, c.text);
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
    TestHttpServer listening;
    ProbeTarget target(listening.port());
    const ProbeOutput output = Ping(kRealProbe);
    EXPECT_EQ(output.kind, ProbeOutput::Kind::Answered) << output.text;
    EXPECT_EQ(output.text.rfind("Pinging localhost [127.0.0.1]", 0), 0u) << output.text;
    EXPECT_EQ(AnalyzeIp(output.text), "127.0.0.1");
}

TEST(AddressProbe, ReportsATimeOutWhenTheServerDoesNotAnswer)
{
    ClosedPort closed;
    ProbeTarget target(closed.Port());
    const ProbeOutput output = Ping(kRealProbe);
    EXPECT_EQ(output.kind, ProbeOutput::Kind::ServerTimedOut) << output.text;
    EXPECT_NE(output.text.find("Request timed out."), std::string::npos) << output.text;
}

TEST(AddressProbe, ReportsATimeOutWhenTheHostDoesNotResolve)
{
    ::setenv("ZUMALO_PROBE_HOST", "server.zumalo.invalid", 1);
    const ProbeOutput output = Ping(kRealProbe);
    ::unsetenv("ZUMALO_PROBE_HOST");
    EXPECT_EQ(output.kind, ProbeOutput::Kind::ServerTimedOut) << output.text;
    EXPECT_NE(output.text.find("Request timed out."), std::string::npos) << output.text;
}

TEST(AddressProbe, ResolutionUsesItWhenTheLookupFails)
{
    TestHttpServer lookup; // serves an empty page: "domain is wrong."
    lookup.ServeAll(200, "");
    {
        ProbeTarget target(lookup.port());
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
