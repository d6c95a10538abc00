#include "Resolver.h"

#include "core/HostAddress.h"

#include <arpa/nameser.h>
#include <netdb.h>
#include <resolv.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
// The resolver's state; the bare name is also a function of the C library.
using ResolverState = struct __res_state;

std::string Dotted(in_addr address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// One resolver thread's way of asking: the system's resolver, or one DNS server with the
// deadline as its whole wait (one try, no search domains).
class Lookup
{
public:
    Lookup(const std::optional<sockaddr_in>& server, std::chrono::milliseconds deadline)
    {
        if (!server)
            return;
        m_state = std::make_unique<ResolverState>();
        if (::res_ninit(m_state.get()) != 0) {
            m_state.reset();
            return;
        }
        m_state->nscount = 1;
        m_state->nsaddr_list[0] = *server;
        m_state->retrans = static_cast<int>(
            std::max<std::chrono::seconds::rep>(1, (deadline.count() + 999) / 1000));
        m_state->retry = 1;
    }
    ~Lookup()
    {
        if (m_state)
            ::res_nclose(m_state.get());
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    std::string Address(const std::string& host, bool ownServer) const
    {
        if (ownServer)
            return m_state ? AskServer(host) : std::string();
        return Ipv4Of(host);
    }

private:
    std::string AskServer(const std::string& host) const
    {
        unsigned char answer[4096];
        const int length = ::res_nquery(m_state.get(), host.c_str(), ns_c_in, ns_t_a, answer,
                                        static_cast<int>(sizeof answer));
        ns_msg message;
        if (length <= 0
            || ::ns_initparse(answer, std::min<int>(length, static_cast<int>(sizeof answer)),
                              &message)
                != 0)
            return {};
        for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
            ns_rr record;
            if (::ns_parserr(&message, ns_s_an, i, &record) == 0 && ns_rr_type(record) == ns_t_a
                && ns_rr_rdlen(record) == 4) {
                in_addr address;
                std::copy_n(ns_rr_rdata(record), 4, reinterpret_cast<unsigned char*>(&address));
                return Dotted(address);
            }
        }
        return {};
    }

    std::unique_ptr<ResolverState> m_state;
};

} // namespace

struct Resolver::State
{
    struct Waiter
    {
        Clock::time_point deadline;
        Done done;
    };
    struct Cached
    {
        std::string address;
        Clock::time_point until;
    };

    Options options;
    std::mutex lock;
    std::condition_variable work;    // a name to resolve, or the stop
    std::condition_variable changed; // a new waiter, the stop, or no more answers under way
    bool stopped = false;
    int answering = 0; // threads calling answers outside the lock
    std::deque<std::string> queue;
    std::set<std::string> pending; // queued or being resolved
    std::map<std::string, std::vector<Waiter>> waiting;
    std::size_t waiters = 0;
    std::unordered_map<std::string, Cached> cache;
    std::thread deadlines;

    void Remember(const std::string& host, const std::string& address)
    {
        if (cache.size() >= options.cacheEntries && !cache.contains(host)) {
            // Full: the entry that would have gone first makes room.
            const auto first = std::min_element(cache.begin(), cache.end(), [](auto& a, auto& b) {
                return a.second.until < b.second.until;
            });
            cache.erase(first);
        }
        cache[host] = {address,
                       Clock::now()
                           + (address.empty() ? options.unresolvedFor : options.resolvedFor)};
    }

    // Calls the answers with the lock released; Stop waits for them.
    void Answer(std::unique_lock<std::mutex>& held, const std::vector<Done>& answers,
                const std::string& address)
    {
        if (answers.empty())
            return;
        ++answering;
        held.unlock();
        for (const Done& done : answers)
            done(address);
        held.lock();
        if (--answering == 0)
            changed.notify_all();
    }

    static void Work(const std::shared_ptr<State>& state)
    {
        const Lookup lookup(state->options.server, state->options.deadline);
        std::unique_lock held(state->lock);
        for (;;) {
            state->work.wait(held, [&] { return state->stopped || !state->queue.empty(); });
            if (state->stopped)
                return;
            const std::string host = state->queue.front();
            state->queue.pop_front();
            held.unlock();
            const std::string address = lookup.Address(host, state->options.server.has_value());
            held.lock();
            state->pending.erase(host);
            if (state->stopped)
                return;
            state->Remember(host, address);
            std::vector<Done> answers;
            if (const auto it = state->waiting.find(host); it != state->waiting.end()) {
                for (Waiter& waiter : it->second)
                    answers.push_back(std::move(waiter.done));
                state->waiters -= it->second.size();
                state->waiting.erase(it);
            }
            state->Answer(held, answers, address);
        }
    }

    // Answers "" to each request whose deadline has passed, and keeps the name as
    // unresolved for a while: asked again, it is answered at once.
    void KeepDeadlines()
    {
        std::unique_lock held(lock);
        while (!stopped) {
            const Clock::time_point now = Clock::now();
            Clock::time_point next = Clock::time_point::max();
            std::vector<Done> late;
            for (auto it = waiting.begin(); it != waiting.end();) {
                auto& list = it->second;
                const auto due = std::stable_partition(list.begin(), list.end(),
                                                       [&](auto& w) { return w.deadline > now; });
                if (due != list.end() && !cache.contains(it->first))
                    Remember(it->first, {});
                for (auto w = due; w != list.end(); ++w)
                    late.push_back(std::move(w->done));
                waiters -= static_cast<std::size_t>(list.end() - due);
                list.erase(due, list.end());
                for (const Waiter& w : list)
                    next = std::min(next, w.deadline);
                it = list.empty() ? waiting.erase(it) : std::next(it);
            }
            if (!late.empty()) {
                Answer(held, late, {});
                continue; // the waiters may have changed meanwhile
            }
            if (next == Clock::time_point::max())
                changed.wait(held);
            else
                changed.wait_until(held, next);
        }
    }
};

Resolver::Resolver(const Options& options)
    : m_state(std::make_shared<State>())
{
    m_state->options = options;
    m_state->deadlines = std::thread([state = m_state.get()] { state->KeepDeadlines(); });
    // The resolver threads may be held by the system's resolver for longer than the server
    // runs: they keep the state alive and end by themselves.
    for (std::size_t i = 0; i < m_state->options.threads; ++i)
        std::thread([state = m_state] { State::Work(state); }).detach();
}

Resolver::~Resolver()
{
    Stop();
}

void Resolver::Resolve(const std::string& name, Done done)
{
    std::string host = name;
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // An address literal, in any form the system's resolver takes ("127.1" too).
    if (in_addr literal; ::inet_aton(host.c_str(), &literal) != 0) {
        done(Dotted(literal));
        return;
    }
    State& state = *m_state;
    std::unique_lock held(state.lock);
    if (const auto cached = state.cache.find(host);
        cached != state.cache.end() && cached->second.until > Clock::now()) {
        const std::string address = cached->second.address;
        held.unlock();
        done(address);
        return;
    }
    const bool known = state.pending.contains(host);
    if (state.stopped || state.waiters >= state.options.waitingRequests
        || (!known && state.pending.size() >= state.options.pendingNames)) {
        held.unlock();
        done({});
        return;
    }
    if (!known) {
        state.pending.insert(host);
        state.queue.push_back(host);
        state.work.notify_one();
    }
    state.waiting[host].push_back({Clock::now() + state.options.deadline, std::move(done)});
    ++state.waiters;
    state.changed.notify_all();
}

void Resolver::Stop()
{
    State& state = *m_state;
    std::vector<Done> answers;
    {
        std::unique_lock held(state.lock);
        if (state.stopped)
            return;
        state.stopped = true;
        for (auto& [host, list] : state.waiting)
            for (State::Waiter& waiter : list)
                answers.push_back(std::move(waiter.done));
        state.waiting.clear();
        state.waiters = 0;
        state.queue.clear();
        state.work.notify_all();
        state.changed.notify_all();
        // No answer may be under way once Stop returns: its receiver may be gone next.
        state.changed.wait(held, [&] { return state.answering == 0; });
    }
    state.deadlines.join();
    for (const Done& done : answers)
        done({});
}

std::optional<sockaddr_in> Resolver::ParseServer(const std::string& text)
{
    std::string address = text;
    unsigned long port = 53;
    if (const auto colon = text.find(':'); colon != std::string::npos) {
        address = text.substr(0, colon);
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5
            || !std::all_of(digits.begin(), digits.end(),
                            [](unsigned char c) { return std::isdigit(c); }))
            return std::nullopt;
        port = std::stoul(digits);
        if (port == 0 || port > 65535)
            return std::nullopt;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1)
        return std::nullopt;
    return server;
}
