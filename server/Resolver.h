#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The lookup page's name resolution, away from the HTTP threads: a few resolver threads of
// its own, a deadline for every answer and a small cache. A resolver that never answers
// delays only the requests that wait for it, each by the deadline at most; a name asked
// again within the cache's time is answered at once, whether it resolved or not.
class Resolver
{
public:
    struct Options
    {
        // The DNS server to ask; none: the system's resolver (hosts file included).
        std::optional<sockaddr_in> server;
        std::chrono::milliseconds deadline{2000};
        std::chrono::seconds resolvedFor{60};   // how long an address is kept
        std::chrono::seconds unresolvedFor{10}; // how long "no address" is kept
        std::size_t cacheEntries = 512;
        std::size_t threads = 4;
        std::size_t pendingNames = 64;     // names waiting for a thread or being resolved
        std::size_t waitingRequests = 256; // past this, a request is answered "" at once
    };

    // The first IPv4 address as dotted text, or "" for none (also at the deadline).
    using Done = std::function<void(const std::string& address)>;

    explicit Resolver(const Options& options);
    ~Resolver();
    Resolver(const Resolver&) = delete;
    Resolver& operator=(const Resolver&) = delete;

    // Calls done exactly once: at once (on this thread) for an address literal, a cached
    // name or a full queue, else from one of the resolver's threads.
    void Resolve(const std::string& host, Done done);

    // Answers every waiting request with "" and answers later ones at once; a thread still
    // inside the system's resolver ends on its own.
    void Stop();

    // "ADDR" or "ADDR:PORT" (53) as the --resolver option takes it.
    static std::optional<sockaddr_in> ParseServer(const std::string& text);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
