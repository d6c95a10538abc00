#include "net/AddressResolution.h"

#include "core/GbkText.h"
#include "core/ProgramDir.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "net/Http.h"
#include "net/WebLookups.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <thread>

namespace {

constexpr std::size_t kFirstChunkSize = 4096;
constexpr std::chrono::milliseconds kPollInterval{256};
// The lookup's result has an area of 20 bytes: an address has at most 15 characters.
constexpr std::size_t kLookupResultMax = 19;
// The probe's line for a server that did not answer, and Ping's text when the probe
// itself did not write in time.
constexpr const char* kTimedOut = "Request timed out.";

// The text between the first "[" and the first "]" (everything after the "[" when the "]"
// comes first); nothing when either is missing.
std::optional<std::string> Bracketed(const std::string& text)
{
    const std::size_t open = text.find('[');
    const std::size_t close = text.find(']');
    if (open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    if (close < open)
        return text.substr(open + 1);
    return text.substr(open + 1, close - open - 1);
}

class Fd
{
public:
    Fd() = default;
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int& Ref() { return m_fd; }
    int Get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// The probe as a child process. Whatever way Ping leaves, the probe and anything it
// started are ended and the child is reaped, so no zombie stays behind.
class ProbeProcess
{
public:
    explicit ProbeProcess(pid_t pid)
        : m_pid(pid)
    {
    }
    ~ProbeProcess()
    {
        if (m_reaped)
            return;
        // The probe leads its own process group; while it is unreaped its id stays ours.
        ::kill(-m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    ProbeProcess(const ProbeProcess&) = delete;
    ProbeProcess& operator=(const ProbeProcess&) = delete;

    bool Ended()
    {
        if (!m_reaped && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            m_reaped = true;
        return m_reaped;
    }

private:
    pid_t m_pid;
    bool m_reaped = false;
};

} // namespace

ProbeOutput Ping(const std::string& exe, std::chrono::milliseconds waitBound)
{
    using Kind = ProbeOutput::Kind;
    if (exe.empty())
        return {Kind::NotStarted, "Ping function's exe param is NULL"};

    // Both ends close on exec; the probe gets the write end as its standard output only.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {Kind::NotStarted, "Pipe Creation Error"};
    Fd readEnd, writeEnd;
    readEnd.Ref() = ends[0];
    writeEnd.Ref() = ends[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own, like a console of its own: it can be ended as a group, and
    // it gets no terminal signals meant for us.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    std::string argv0 = exe;
    char* argv[] = {argv0.data(), nullptr};
    pid_t pid = -1;
    // glibc reports a failed exec (a missing file, no permission) as the result here.
    const int spawnError = ::posix_spawn(&pid, exe.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
        return {Kind::NotStarted, "CreateProcess error:" + std::to_string(spawnError)};
    writeEnd.Close(); // else the pipe never reports the probe's end
    ProbeProcess probe(pid);

    const auto deadline = std::chrono::steady_clock::now() + waitBound;
    bool ended = false;
    for (;;) {
        pollfd waiting{readEnd.Get(), POLLIN, 0};
        const int ready = ::poll(&waiting, 1, 0);
        if (ready < 0 && errno != EINTR)
            return {Kind::Ended, kProbeFailed};
        if (ready > 0) {
            // Data, or the end of the pipe (the probe and all it started are gone).
            char chunk[kFirstChunkSize];
            const ssize_t n = ::read(readEnd.Get(), chunk, sizeof chunk);
            if (n > 0) {
                std::string output(chunk, static_cast<std::size_t>(n));
                // The probe reports a server that did not answer with this line, also
                // after a first line that names the address.
                const Kind kind = output.find(kTimedOut) == std::string::npos
                    ? Kind::Answered
                    : Kind::ServerTimedOut;
                return {kind, std::move(output)};
            }
            if (n == 0 || errno != EINTR)
                return {Kind::Ended, kProbeFailed};
            continue;
        }
        if (ended)
            return {Kind::Ended, kProbeFailed};
        if (probe.Ended()) {
            // What it wrote just before it ended may have arrived after the look above.
            ended = true;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return {Kind::WaitExpired, kTimedOut};
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::string AnalyzeIp(const std::string& text)
{
    if (text.empty())
        return "text param is nil of AnalyzeIp function";
    return Bracketed(text).value_or(kNoAddress);
}

std::string ProbePath(const Settings& settings)
{
    if (!settings.probeProgram.empty() && settings.probeProgram.front() == '/')
        return settings.probeProgram;
    return ProgramDir() + settings.probeProgram;
}

Resolution ResolveAddress(const Settings& settings)
{
    using Kind = Resolution::Kind;
    // An empty host would send the database client to a local socket, another server
    // than the one asked for: it is no address.
    const auto named = [](Kind kind, std::string address) {
        return address.empty() ? Resolution{Kind::NoAddress, kNoAddress}
                               : Resolution{kind, std::move(address)};
    };

    // 1. Ask the lookup page. A text that overflows the result area is no address.
    AddressLookup lookup =
        LookupAddress(settings.serverHostUrl, settings.lookupHost, settings.webTimeoutSeconds);
    if (lookup.kind == AddressLookup::Kind::Address && lookup.text.size() > kLookupResultMax)
        lookup = {AddressLookup::Kind::WrongDomain, "domain is wrong."};
    if (lookup.kind == AddressLookup::Kind::Address)
        return named(Kind::LookedUp, std::move(lookup.text));
    qCWarning(lcHttp) << "the lookup page on" << settings.lookupHost.c_str()
                      << "named no address for" << settings.serverHostUrl.c_str()
                      << (lookup.kind == AddressLookup::Kind::InvalidDomain
                              ? "(it reports an invalid domain)"
                              : "(no answer, or no address in it)");

    // 2. The lookup failed: ask the probe. When the server did not answer it, the lookup's
    // failure text stays.
    const std::string probePath = ProbePath(settings);
    const ProbeOutput probe = Ping(probePath);
    const auto failed = [&](const char* why) {
        qCWarning(lcHttp) << "the address probe" << probePath.c_str() << why << "-"
                          << probe.text.c_str();
    };
    switch (probe.kind) {
    case ProbeOutput::Kind::Answered: {
        Resolution found = named(Kind::Probed, Bracketed(probe.text).value_or(std::string()));
        if (found.kind == Kind::NoAddress)
            failed("named no address");
        return found;
    }
    case ProbeOutput::Kind::ServerTimedOut:
        failed("had no answer from the server");
        return {Kind::ProbeTimedOut, std::move(lookup.text)};
    case ProbeOutput::Kind::WaitExpired:
        failed("wrote nothing in time");
        return {Kind::ProbeTimedOut, std::move(lookup.text)};
    case ProbeOutput::Kind::Ended: failed("ended without an answer"); break;
    case ProbeOutput::Kind::NotStarted: failed("could not be started"); break;
    }
    return {Kind::NoAddress, kNoAddress};
}

void ResolveServerAddress(Session& session, const Settings& settings)
{
    session.ServerAddress = ResolveAddress(settings).text;
    if (!IsServerAddress(session.ServerAddress))
        qCWarning(lcHttp) << "the server" << settings.serverHostName.c_str()
                          << "was not found; the next login attempt looks again";
}

bool IsServerAddress(const std::string& text)
{
    static const std::string invalidDomain = Utf8ToGbk("无效的域名.");
    return !text.empty() && text != "domain is wrong." && text != invalidDomain
        && text != kNoAddress;
}
