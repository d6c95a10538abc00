#pragma once

#include <chrono>
#include <string>

struct Session;
struct Settings;

// Turning the server's dynamic-DNS name into the numeric address every connection uses,
// without the system resolver: first the public lookup page, then the address probe that
// ships beside the program (dat/test.dat).

// The longest the probe may take to write its first output before it counts as not
// answering. The probe itself gives up after about 2 s.
inline constexpr std::chrono::milliseconds kProbeWaitBound{15000};

// What Ping gives when the probe ended or its pipe failed before it wrote anything. It holds
// no brackets, so AnalyzeIp turns it into kNoAddress.
inline constexpr const char* kProbeFailed = "Request failed.";
// What AnalyzeIp gives when the text holds no "[" or no "]". Used as a host it fails every
// connection: it is no address and, with its blanks, no host name.
inline constexpr const char* kNoAddress = "no address found.";

// What the probe gave: the text resolution works on, and what kind of answer it is.
struct ProbeOutput
{
    enum class Kind {
        Answered,       // the first chunk of its output, which holds no time-out report
        ServerTimedOut, // the first chunk reports "Request timed out.": the server did not answer
        WaitExpired,    // it wrote nothing within the wait bound: "Request timed out."
        Ended,          // it ended, or the pipe failed, without output: kProbeFailed
        NotStarted,     // no program, no pipe, or the program could not be started
    };
    Kind kind = Kind::NotStarted;
    std::string text;
};

// Runs the program exe (no arguments, standard output into a pipe, in a session of its own)
// and gives the first chunk of its output, at most 4096 bytes, looking every 256 ms.
// Failure texts: "Ping function's exe param is NULL", "Pipe Creation Error",
// "CreateProcess error:" + errno (2 when exe is missing), kProbeFailed when it ends or the
// pipe fails without output, and "Request timed out." when it has not written within
// waitBound. The probe is ended and reaped before Ping returns: its later output is unused.
ProbeOutput Ping(const std::string& exe, std::chrono::milliseconds waitBound = kProbeWaitBound);

// The text between the first "[" and the first "]"; when the "]" comes first, everything
// after the "[". "text param is nil of AnalyzeIp function" for an empty text, kNoAddress
// when either bracket is missing.
std::string AnalyzeIp(const std::string& text);

// The probe program's full path: ProgramDir() + settings.probeProgram, or probeProgram
// itself when it is absolute.
std::string ProbePath(const Settings& settings);

// How the server's address was found, and the text every later connection uses as its host.
struct Resolution
{
    enum class Kind {
        LookedUp,      // the lookup page named the address
        Probed,        // the lookup failed; the probe named the address
        ProbeTimedOut, // the lookup failed and the probe had no answer from the server: the
                       // lookup's failure text stays
        NoAddress,     // neither named one: kNoAddress (probe missing, silent, no brackets ...)
    };
    Kind kind = Kind::NoAddress;
    std::string text;
};

// Resolves settings.serverHostUrl: the lookup page first, the probe when it fails.
Resolution ResolveAddress(const Settings& settings);

// Resolves once and writes the result's text into session.ServerAddress: the address, or a
// failure text that makes every later connection fail. A failure is logged with its cause
// ("zumalo.http").
void ResolveServerAddress(Session& session, const Settings& settings);

// False for the texts a failed resolution leaves in Session::ServerAddress (the lookup's two
// failure texts, kNoAddress) and for "": there is no server to connect to, and resolving
// again is the only way to find one.
bool IsServerAddress(const std::string& text);
