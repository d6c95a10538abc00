#include "net/AddressResolution.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "net/Lib.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

constexpr std::size_t kFirstChunkSize = 4096;
constexpr std::chrono::milliseconds kPollInterval{256};
// The lookup's result has an area of 20 bytes: an address has at most 15 characters.
constexpr std::size_t kLookupResultMax = 19;

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

std::string Ping(const std::string& exe, std::chrono::milliseconds waitBound)
{
    if (exe.empty())
        return "Ping function's exe param is NULL";

    // Both ends close on exec; the probe gets the write end as its standard output only.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return "Pipe Creation Error";
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
        return "CreateProcess error:" + std::to_string(spawnError);
    writeEnd.Close(); // else the pipe never reports the probe's end
    ProbeProcess probe(pid);

    const auto deadline = std::chrono::steady_clock::now() + waitBound;
    bool ended = false;
    for (;;) {
        pollfd waiting{readEnd.Get(), POLLIN, 0};
        const int ready = ::poll(&waiting, 1, 0);
        if (ready < 0 && errno != EINTR)
            return kProbeFailed;
        if (ready > 0) {
            // Data, or the end of the pipe (the probe and all it started are gone).
            char chunk[kFirstChunkSize];
            const ssize_t n = ::read(readEnd.Get(), chunk, sizeof chunk);
            if (n > 0)
                return std::string(chunk, static_cast<std::size_t>(n));
            if (n == 0 || errno != EINTR)
                return kProbeFailed;
            continue;
        }
        if (ended)
            return kProbeFailed;
        if (probe.Ended()) {
            // What it wrote just before it ended may have arrived after the look above.
            ended = true;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return "Request timed out.";
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::string AnalyzeIp(const std::string& text)
{
    if (text.empty())
        return "text param is nil of AnalyzeIp function";
    const std::size_t open = text.find('[');
    const std::size_t close = text.find(']');
    if (open == std::string::npos || close == std::string::npos)
        return kNoAddress;
    if (close < open)
        return text.substr(open + 1);
    return text.substr(open + 1, close - open - 1);
}

std::string ProbePath(const Settings& settings)
{
    if (!settings.probeProgram.empty() && settings.probeProgram.front() == '/')
        return settings.probeProgram;
    return ProgramDir() + settings.probeProgram;
}

void ResolveServerAddress(Session& session, const Settings& settings)
{
    static const std::string wrongDomain = "domain is wrong.";
    static const std::string invalidDomain = Utf8ToGbk("无效的域名.");

    // 1. Ask the lookup page. A text that overflows the result area is no address.
    std::string address =
        LookupAddress(settings.serverHostUrl, settings.lookupHost, settings.webTimeoutSeconds);
    if (address.size() > kLookupResultMax)
        address = wrongDomain;
    session.ServerAddress = address;
    if (address == wrongDomain || address == invalidDomain) {
        // 2. The lookup failed: ask the probe. When the server did not answer it, the
        // lookup's failure text stays.
        const std::string output = Ping(ProbePath(settings));
        if (output.find("Request timed out.") == std::string::npos)
            session.ServerAddress = AnalyzeIp(output);
    }
    // An empty host would send the database client to a local socket, another server
    // than the one asked for: it is no address.
    if (session.ServerAddress.empty())
        session.ServerAddress = kNoAddress;
}
