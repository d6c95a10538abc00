// A whole community on loopback, played by the client's own code: every member has a
// database connection of its own (DbSession, with the statements of Statements and the
// account steps of `login`), a presence socket of its own (the datagrams of the presence
// codec), and fetches files with the client's HTTP call.
//   community_bench --members N [--seconds S] [--db-host A] [--db-port P] [--presence-port P]
//                   [--http-port P] [--chat-per-second R] [--switch-seconds S]
//                   [--publishers-every K] [--workers W] [--db-pid PID]... [--server-pid PID]
//                   [--journal FILE] [--at-half COMMAND]
//   community_bench --verify JOURNAL --node-port P... [--db-host A]
//
// Each member registers an account of its own, logs in (the login statement, then presence),
// fetches the two banners, and then every S seconds (spread +-50 %) switches one of the four
// lists to a random page (the count and the page statements) and opens an item of it (the
// lookup; a torrent is downloaded). Every K-th member also publishes in turn: a board post,
// a video upload with its points (read the score, then the points and the video, the points
// taken back when the video is not stored) and a quick post, each through the client's
// checked writes, which find out after a lost connection whether the write was stored. Each member sends keep-online every 3 s,
// and R chat lines a second go out from members in turn; the server relays each to everyone.
//
// One line at the end: members, p50 and p99 of a page switch, of a publish and of a chat
// relay (send to arrival in this process), the CPU of the database and of zumalo-server over
// the measured window (in % of one core), the longest stall of a member (from the start of a
// call that failed or took long to the end of its next success), and the errors.
//
// With --journal, every write a member made is written down with the outcome the member saw
// (ok, or failed after the member tried the same entry again a few times, as a user would),
// and how many times the member was told it failed on the way.
// --verify reads it back and checks it against each node: a write seen as ok is stored
// exactly once, a write seen as failed is not stored, and each member's score is the points
// of its stored uploads.

#include "CpuTime.h"

#include "core/Basefunc.h"
#include "core/Ports.h"
#include "core/Presence.h"
#include "core/Settings.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "db/Publishing.h"
#include "db/Statements.h"
#include "net/Http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

double NowMs()
{
    return std::chrono::duration<double, std::milli>(SteadyClock::now().time_since_epoch()).count();
}

[[noreturn]] void Die(const std::string& message)
{
    std::fprintf(stderr, "community_bench: %s\n", message.c_str());
    std::exit(1);
}

struct Options
{
    int members = 100;
    double seconds = 30;
    std::string dbHost = "127.0.0.1";
    unsigned dbPort = ports::Database;
    unsigned presencePort = ports::Presence;
    unsigned httpPort = ports::Http;
    double chatPerSecond = 2;
    double switchSeconds = 5;
    int publishersEvery = 10;
    int workers = 0;
    std::vector<pid_t> dbPids;
    std::vector<pid_t> serverPids;
    std::string journal;
    std::string atHalf;
    std::string verify;
    std::vector<unsigned> nodePorts;
};

using ::CpuSeconds;

double CpuSeconds(const std::vector<pid_t>& pids)
{
    double sum = 0;
    for (pid_t pid : pids)
        sum += CpuSeconds(pid);
    return sum;
}

// Latencies of one kind, in ms, from every worker.
class Samples
{
public:
    void Add(double ms)
    {
        const std::lock_guard lock(m_mutex);
        m_values.push_back(ms);
    }
    double Percentile(double p)
    {
        const std::lock_guard lock(m_mutex);
        if (m_values.empty())
            return 0;
        std::sort(m_values.begin(), m_values.end());
        const auto i =
            static_cast<std::size_t>(p / 100.0 * static_cast<double>(m_values.size() - 1));
        return m_values[i];
    }
    std::size_t Count()
    {
        const std::lock_guard lock(m_mutex);
        return m_values.size();
    }

private:
    std::mutex m_mutex;
    std::vector<double> m_values;
};

class Journal
{
public:
    explicit Journal(const std::string& path)
    {
        if (!path.empty()) {
            m_out.open(path, std::ios::trunc);
            if (!m_out)
                Die("cannot write " + path);
        }
    }
    // kind: account, board, video, quick, score; key: the unique text of the row; toldFailed:
    // how many times the member was told it failed before the outcome.
    void Write(const std::string& kind, const std::string& member, const std::string& key, bool ok,
               int toldFailed = 0)
    {
        if (!m_out.is_open())
            return;
        const std::lock_guard lock(m_mutex);
        m_out << kind << '\t' << member << '\t' << key << '\t' << (ok ? "ok" : "failed") << '\t'
              << toldFailed << '\n';
        m_out.flush();
    }

private:
    std::mutex m_mutex;
    std::ofstream m_out;
};

struct Member
{
    int index = 0;
    std::string name;
    std::string password;
    Session session;
    std::unique_ptr<DbSession> db;
    int fd = -1;
    std::atomic<bool> online{false};
    double next = 0;
    int step = 0;
    int published = 0;
    double troubleSince = -1;
};

struct Shared
{
    Options options;
    Settings settings;
    std::string prefix;
    Samples pageSwitch, open, publish, chat, login;
    std::atomic<long> errors{0};
    std::atomic<long> chatSent{0};
    std::atomic<long> chatReceived{0};
    std::atomic<bool> measuring{false};
    std::mutex stallMutex;
    double longestStallMs = 0;
    Journal journal;

    explicit Shared(const Options& o)
        : options(o)
        , journal(o.journal)
    {
    }
};

void Error(Shared& shared, const Member& member, const char* what)
{
    const long n = ++shared.errors;
    if (n <= 20)
        std::fprintf(stderr, "community_bench: %s: %s failed\n", member.name.c_str(), what);
}

// Runs one call of a member: its time goes to samples, a failure counts as an error, and the
// stall from the first failed call to the next success is kept.
template <typename Call>
bool Timed(Shared& shared, Member& member, Samples* samples, const char* what, Call call)
{
    const double start = NowMs();
    const bool ok = call();
    const double end = NowMs();
    if (samples && (shared.measuring || samples == &shared.login))
        samples->Add(end - start);
    if (!ok) {
        if (member.troubleSince < 0)
            member.troubleSince = start;
        Error(shared, member, what);
        return false;
    }
    const double stall = member.troubleSince >= 0 ? end - member.troubleSince : end - start;
    member.troubleSince = -1;
    const std::lock_guard lock(shared.stallMutex);
    shared.longestStallMs = std::max(shared.longestStallMs, stall);
    return true;
}

// A statement whose rows are read and dropped; true when the server took it.
bool Run(DbSession& db, const std::string& statement, std::vector<DbRow>* rows = nullptr)
{
    const bool ok = db.Query(statement);
    if (ok && rows) {
        while (auto row = db.FetchRow())
            rows->push_back(std::move(*row));
    }
    db.FreeResult();
    return ok;
}

void SendTo(Shared& shared, const Member& member, const std::string& datagram)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(shared.options.presencePort));
    ::inet_pton(AF_INET, member.session.ServerAddress.c_str(), &to.sin_addr);
    ::sendto(member.fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
             sizeof to);
}

// Registration, the login statement, the banners, then presence.
bool LogIn(Shared& shared, Member& member)
{
    member.session.ServerAddress = shared.options.dbHost;
    member.db = std::make_unique<DbSession>(shared.settings);
    login account(member.session, *member.db, shared.settings);
    if (!Timed(shared, member, &shared.login, "connect", [&] { return account.Connect(); }))
        return false;
    AccountEntry entry{member.name, member.password, "1", "20", "bench", "", "", ""};
    const bool registered =
        Timed(shared, member, nullptr, "register", [&] { return account.Register(entry).ok; });
    shared.journal.Write("account", member.name, member.name, registered);
    if (!registered)
        return false;
    account.SetUser(member.name, member.password);
    if (!Timed(shared, member, &shared.login, "login", [&] { return account.DoLogin().ok; }))
        return false;
    for (const std::string* path :
         {&shared.settings.lowBannerPath, &shared.settings.highBannerPath})
        Timed(shared, member, nullptr, "banner", [&] {
            return FetchServerFile(shared.settings, member.session.ServerAddress, *path).ok;
        });
    SendTo(shared, member, presence::BuildLoginRequest(member.name));
    return true;
}

// One list switched to a random page, and an item of it opened.
void SwitchAndOpen(Shared& shared, Member& member, std::mt19937& random)
{
    DbSession& db = *member.db;
    const auto kind = static_cast<ListKind>(random() % 4);
    std::vector<DbRow> rows;
    const bool switched = Timed(shared, member, &shared.pageSwitch, "page switch", [&] {
        std::vector<DbRow> count;
        if (!Run(db, Statements::CountRows(kind), &count) || count.empty())
            return false;
        const long long total = std::atoll(Field(count[0], 0).c_str());
        // Mostly the first pages, as members browse.
        const long long pages = std::max(1LL, std::min((total + 7) / 8, 20LL));
        const long long offset = static_cast<long long>(random() % pages) * 8;
        return Run(db,
                   kind == ListKind::Board ? Statements::BoardPage(offset)
                                           : Statements::ListPage(kind, offset),
                   &rows);
    });
    if (!switched || rows.empty() || kind == ListKind::Board)
        return;
    const std::string title = Field(rows[random() % rows.size()], 0);
    std::vector<DbRow> item;
    Timed(shared, member, &shared.open, "open", [&] {
        const Statements statements(db);
        if (!Run(db, statements.ItemLookup(kind, title), &item))
            return false;
        if (kind == ListKind::Videos)
            return Run(db, statements.VideoUploader(title));
        return true;
    });
    if (kind == ListKind::Torrents && !item.empty() && !Field(item[0], 0).empty())
        Timed(shared, member, nullptr, "torrent", [&] {
            return FetchServerFile(shared.settings, member.session.ServerAddress,
                                   shared.settings.torrentFolder + Field(item[0], 0),
                                   FetchSize::Download)
                .ok;
        });
}

// The video upload as the upload dialog does it: an earlier unsettled try settled, the score
// read, then the points and the video stored as checked writes.
bool Upload(Member& member, const std::string& title)
{
    const Publication published =
        PublishVideo(*member.db, member.name, title, "/sp/welcome.swf", "0");
    return published.kind == Publication::Kind::Done
        || published.kind == Publication::Kind::AlreadyStored;
}

// A member told that a publish failed tries the same entry again a few times, as a user
// would. A write the database took but could not confirm when the connection went is held on
// the session and settled by the next try of the same entry, which is then answered by the
// earlier one: so the journal's "failed" means the entry never got in.
constexpr int kPublishTries = 4;

template <class Try> bool TryAgainOnFailure(Try attempt, int& toldFailed)
{
    toldFailed = 0;
    for (int n = 1;; ++n) {
        if (attempt())
            return true;
        ++toldFailed;
        if (n == kPublishTries)
            return false;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

void Publish(Shared& shared, Member& member)
{
    DbSession& db = *member.db;
    const int n = member.published++;
    const std::string key = member.name + "-" + std::to_string(n);
    int toldFailed = 0;
    switch (n % 3) {
    case 0: {
        const std::string body = "b" + key;
        const bool ok = TryAgainOnFailure(
            [&] {
                return Timed(shared, member, &shared.publish, "board post", [&] {
                    return StoreOnce(db, BoardPostWrite(db, member.name, body, NowStamp()));
                });
            },
            toldFailed);
        shared.journal.Write("board", member.name, body, ok, toldFailed);
        break;
    }
    case 1: {
        const std::string title = "v" + key;
        const bool ok = TryAgainOnFailure(
            [&] {
                return Timed(shared, member, &shared.publish, "upload",
                             [&] { return Upload(member, title); });
            },
            toldFailed);
        shared.journal.Write("video", member.name, title, ok, toldFailed);
        break;
    }
    default: {
        const std::string title = "q" + key;
        const bool ok = TryAgainOnFailure(
            [&] {
                return Timed(shared, member, &shared.publish, "quick post", [&] {
                    return StoreOnce(
                        db,
                        QuickPostWrite(db, member.name, title, "http://127.0.0.1/", NowStamp()));
                });
            },
            toldFailed);
        shared.journal.Write("quick", member.name, title, ok, toldFailed);
    }
    }
}

// Members due for their next step, earliest first.
class Schedule
{
public:
    void Push(Member* member)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_queue.push(member);
        }
        m_ready.notify_one();
    }
    // The next member due before deadline, waiting for it; nullptr when the time is up.
    Member* Pop(double deadline)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            const double now = NowMs();
            if (now >= deadline)
                return nullptr;
            if (!m_queue.empty() && m_queue.top()->next <= now) {
                Member* member = m_queue.top();
                m_queue.pop();
                return member;
            }
            const double until =
                m_queue.empty() ? deadline : std::min(deadline, m_queue.top()->next);
            m_ready.wait_for(lock, std::chrono::duration<double, std::milli>(until - now));
        }
    }

private:
    struct Later
    {
        bool operator()(const Member* a, const Member* b) const { return a->next > b->next; }
    };
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::priority_queue<Member*, std::vector<Member*>, Later> m_queue;
};

// Keep-online every 3 s for every member online, R chat lines a second from members in turn,
// and every datagram that arrives: login answers and relayed chat lines.
void PresenceLoop(Shared& shared, std::vector<std::unique_ptr<Member>>& members, double until)
{
    const int poll = ::epoll_create1(0);
    for (auto& m : members) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = m.get();
        ::epoll_ctl(poll, EPOLL_CTL_ADD, m->fd, &event);
    }
    const double keepMs = shared.settings.keepOnlineMs;
    const double start = NowMs();
    std::vector<double> keepAt(members.size());
    for (std::size_t i = 0; i < members.size(); ++i)
        keepAt[i] = start + keepMs * static_cast<double>(i) / static_cast<double>(members.size());
    std::size_t nextKeep = 0;
    const double chatGap =
        shared.options.chatPerSecond > 0 ? 1000.0 / shared.options.chatPerSecond : 0;
    double nextChat = start + chatGap;
    std::size_t chatFrom = 0;
    long sequence = 0;
    std::vector<epoll_event> events(256);
    char buffer[presence::MaxDatagramSize + 1];
    while (NowMs() < until) {
        const double now = NowMs();
        // Keep-online: members in a fixed round, one every keepMs / N.
        for (std::size_t n = 0; n < members.size() && keepAt[nextKeep] <= now; ++n) {
            Member& m = *members[nextKeep];
            if (m.online)
                SendTo(shared, m, presence::BuildKeepOnline(m.name));
            keepAt[nextKeep] += keepMs;
            nextKeep = (nextKeep + 1) % members.size();
        }
        if (chatGap > 0 && now >= nextChat && shared.measuring) {
            for (std::size_t n = 0; n < members.size(); ++n) {
                Member& m = *members[chatFrom];
                chatFrom = (chatFrom + 1) % members.size();
                if (!m.online)
                    continue;
                // As the chat room sends it: the member's name and "说: " first.
                char text[64];
                std::snprintf(text, sizeof text, "c%ld %.3f", sequence++, NowMs());
                SendTo(shared, m,
                       presence::BuildTextLine(m.name + std::string(presence::ChatSays) + text));
                ++shared.chatSent;
                break;
            }
            nextChat += chatGap;
        }
        const int n = ::epoll_wait(poll, events.data(), static_cast<int>(events.size()), 5);
        for (int i = 0; i < n; ++i) {
            auto& m = *static_cast<Member*>(events[i].data.ptr);
            for (;;) {
                const ssize_t got = ::recv(m.fd, buffer, sizeof buffer - 1, MSG_DONTWAIT);
                if (got <= 0)
                    break;
                const std::string_view datagram(buffer, static_cast<std::size_t>(got));
                const presence::Message message =
                    presence::Decode(datagram, presence::Sender::Server);
                if (const auto* answer = std::get_if<presence::LoginAnswer>(&message)) {
                    if (answer->accepted) {
                        if (!m.online)
                            SendTo(shared, m, presence::BuildLoginAck());
                        m.online = true;
                    } else
                        Error(shared, m, "presence login");
                } else if (const auto* line = std::get_if<presence::TextLine>(&message)) {
                    const std::string& text = line->text;
                    const auto says = text.find(presence::ChatSays);
                    long seq = 0;
                    double sentMs = 0;
                    if (says != std::string::npos
                        && std::sscanf(text.c_str() + says + presence::ChatSays.size(), "c%ld %lf",
                                       &seq, &sentMs)
                            == 2) {
                        shared.chat.Add(NowMs() - sentMs);
                        ++shared.chatReceived;
                    }
                }
            }
        }
    }
    ::close(poll);
}

int OpenSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Die("no socket (open-files limit?)");
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0)
        Die("bind");
    return fd;
}

int RunCommunity(const Options& options)
{
    Shared shared(options);
    shared.settings = Settings::Defaults();
    shared.settings.dbPort = options.dbPort;
    shared.settings.httpPort = options.httpPort;
    shared.settings.presencePort = options.presencePort;

    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < static_cast<rlim_t>(options.members) * 2 + 100)
        Die("the open-files limit " + std::to_string(files.rlim_cur) + " is too low for "
            + std::to_string(options.members) + " members (two sockets each)");

    // Names unique to this run: a run may follow another on the same database.
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "m%05x",
                  static_cast<unsigned>(::getpid() ^ ::time(nullptr)) & 0xfffff);
    shared.prefix = prefix;
    std::vector<std::unique_ptr<Member>> members;
    for (int i = 0; i < options.members; ++i) {
        auto m = std::make_unique<Member>();
        m->index = i;
        m->name = shared.prefix + "_" + std::to_string(i);
        m->password = "pw" + std::to_string(i);
        m->fd = OpenSocket();
        members.push_back(std::move(m));
    }
    const int workers =
        options.workers > 0 ? options.workers : std::clamp(options.members / 20, 4, 64);

    // Logging in, spread over the workers; presence runs meanwhile for the answers.
    const double setupStart = NowMs();
    std::atomic<bool> setupDone{false};
    std::thread presenceDuringSetup([&] {
        while (!setupDone)
            PresenceLoop(shared, members, NowMs() + 200);
    });
    {
        std::atomic<std::size_t> nextMember{0};
        std::vector<std::thread> pool;
        for (int w = 0; w < workers; ++w)
            pool.emplace_back([&] {
                for (std::size_t i; (i = nextMember++) < members.size();)
                    LogIn(shared, *members[i]);
            });
        for (auto& t : pool)
            t.join();
    }
    // Until every member is online (or 10 s).
    for (int i = 0; i < 100; ++i) {
        if (std::all_of(members.begin(), members.end(), [](auto& m) { return m->online.load(); }))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    setupDone = true;
    presenceDuringSetup.join();
    const long online =
        std::count_if(members.begin(), members.end(), [](auto& m) { return m->online.load(); });
    std::fprintf(stderr, "community_bench: %d members logged in in %.1f s, %ld online\n",
                 options.members, (NowMs() - setupStart) / 1000, online);
    if (online < options.members)
        shared.errors += options.members - online;

    // The measured window.
    std::mt19937 seed(42);
    const double start = NowMs();
    const double until = start + options.seconds * 1000;
    const double period = options.switchSeconds * 1000;
    Schedule schedule;
    for (auto& m : members) {
        m->next = start + std::uniform_real_distribution<double>(0, period)(seed);
        schedule.Push(m.get());
    }
    const double benchCpu0 = CpuSeconds(::getpid());
    const double dbCpu0 = CpuSeconds(options.dbPids);
    const double serverCpu0 = CpuSeconds(options.serverPids);
    shared.measuring = true;
    std::thread presenceThread([&] { PresenceLoop(shared, members, until + 500); });
    std::thread halfway;
    if (!options.atHalf.empty())
        halfway = std::thread([&] {
            std::this_thread::sleep_until(
                SteadyClock::now()
                + std::chrono::milliseconds(static_cast<long>(options.seconds * 500)));
            std::fprintf(stderr, "community_bench: halfway: %s\n", options.atHalf.c_str());
            if (std::system(options.atHalf.c_str()) != 0)
                std::fprintf(stderr, "community_bench: the halfway command failed\n");
        });
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w)
        pool.emplace_back([&, w] {
            std::mt19937 random(static_cast<unsigned>(w) * 7919u + 1);
            while (Member* m = schedule.Pop(until)) {
                if (m->db) {
                    SwitchAndOpen(shared, *m, random);
                    if (options.publishersEvery > 0 && m->index % options.publishersEvery == 0)
                        Publish(shared, *m);
                }
                m->next +=
                    std::uniform_real_distribution<double>(0.5 * period, 1.5 * period)(random);
                schedule.Push(m);
            }
        });
    for (auto& t : pool)
        t.join();
    const double elapsed = (NowMs() - start) / 1000;
    // A member whose last call failed did not recover within the window.
    const long stuck =
        std::count_if(members.begin(), members.end(), [](auto& m) { return m->troubleSince >= 0; });
    const double dbCpu = CpuSeconds(options.dbPids) - dbCpu0;
    const double serverCpu = CpuSeconds(options.serverPids) - serverCpu0;
    const double benchCpu = CpuSeconds(::getpid()) - benchCpu0;
    shared.measuring = false;
    presenceThread.join();
    if (halfway.joinable())
        halfway.join();

    // Every relayed line should reach every member online.
    const long expected = shared.chatSent * online;
    const long lost = std::max(0L, expected - shared.chatReceived.load());
    for (auto& m : members) {
        if (m->online)
            SendTo(shared, *m, presence::BuildLogoutNotice(m->name));
        if (m->db)
            m->db->Close();
        ::close(m->fd);
    }

    const auto percent = [&](double cpu) { return 100.0 * cpu / elapsed; };
    std::fprintf(
        stderr,
        "community_bench: %zu page switches, %zu opens (p99 %.1f ms), %zu publishes, %zu "
        "logins (p99 %.1f ms), chat %ld lines relayed %ld times, %ld lost; this bench's CPU "
        "%.0f%% of one core\n",
        shared.pageSwitch.Count(), shared.open.Count(), shared.open.Percentile(99),
        shared.publish.Count(), shared.login.Count(), shared.login.Percentile(99),
        shared.chatSent.load(), shared.chatReceived.load(), lost, percent(benchCpu));
    std::printf("community: %d members, page switch p50 %.1f ms p99 %.1f ms, post p50 %.1f ms p99 "
                "%.1f ms, chat relay p50 %.1f ms p99 %.1f ms, MariaDB CPU %.0f%%, zumalo-server "
                "CPU %.1f%%, longest stall %.0f ms, errors %ld, members failing at the end %ld\n",
                options.members, shared.pageSwitch.Percentile(50), shared.pageSwitch.Percentile(99),
                shared.publish.Percentile(50), shared.publish.Percentile(99),
                shared.chat.Percentile(50), shared.chat.Percentile(99), percent(dbCpu),
                percent(serverCpu), shared.longestStallMs, shared.errors.load(), stuck);
    std::fflush(stdout);
    return shared.errors == 0 ? 0 : 3;
}

// --- Verification of a journal against the nodes.

std::string Quote(DbSession& db, const std::string& text)
{
    return "'" + db.Escape(text) + "'";
}

long CountOf(DbSession& db, const std::string& statement)
{
    std::vector<DbRow> rows;
    if (!Run(db, statement, &rows) || rows.empty())
        Die("cannot ask: " + statement);
    return std::atol(Field(rows[0], 0).c_str());
}

int Verify(const Options& options)
{
    struct Entry
    {
        std::string kind, member, key;
        bool ok;
    };
    std::ifstream in(options.verify);
    if (!in)
        Die("cannot read " + options.verify);
    std::vector<Entry> entries;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Entry e;
        std::string outcome;
        std::getline(fields, e.kind, '\t');
        std::getline(fields, e.member, '\t');
        std::getline(fields, e.key, '\t');
        std::getline(fields, outcome, '\t');
        e.ok = outcome == "ok";
        entries.push_back(e);
    }
    Settings settings = Settings::Defaults();
    int bad = 0;
    for (unsigned port : options.nodePorts) {
        settings.dbPort = port;
        DbSession db(settings);
        if (!db.Open(options.dbHost, settings.dbUser, settings.dbPassword))
            Die("cannot connect to the node on port " + std::to_string(port));
        long okCount = 0, failedCount = 0, lostOk = 0, doubled = 0, storedFailed = 0,
             wrongScore = 0;
        std::map<std::string, long> uploads;
        for (const Entry& e : entries) {
            std::string where;
            if (e.kind == "account")
                where = "zumalo_userinfo where username = " + Quote(db, e.key);
            else if (e.kind == "board")
                where = "zumalo_bodysay where saybody = " + Quote(db, e.key);
            else if (e.kind == "video")
                where = "zumalo_sp where text = " + Quote(db, e.key);
            else
                where = "zumalo_news where text = " + Quote(db, e.key);
            const long stored = CountOf(db, "select count(*) from " + where);
            if (e.kind == "video")
                uploads[e.member] += stored;
            if (e.kind == "account" && stored)
                uploads.try_emplace(e.member, 0);
            if (e.ok) {
                ++okCount;
                if (stored == 0) {
                    ++lostOk;
                    std::fprintf(stderr, "verify: port %u: %s %s seen ok, not stored\n", port,
                                 e.kind.c_str(), e.key.c_str());
                } else if (stored > 1) {
                    ++doubled;
                    std::fprintf(stderr, "verify: port %u: %s %s stored %ld times\n", port,
                                 e.kind.c_str(), e.key.c_str(), stored);
                }
            } else {
                ++failedCount;
                if (stored != 0) {
                    ++storedFailed;
                    std::fprintf(stderr, "verify: port %u: %s %s seen failed, but stored\n", port,
                                 e.kind.c_str(), e.key.c_str());
                }
            }
        }
        // An upload's points: 2 for each stored video of the member.
        for (const auto& [member, count] : uploads) {
            const long score = CountOf(
                db, "select userscore from zumalo_userinfo where username = " + Quote(db, member));
            if (score != 2 * count) {
                ++wrongScore;
                std::fprintf(stderr, "verify: port %u: %s has %ld points for %ld videos\n", port,
                             member.c_str(), score, count);
            }
        }
        std::printf("verify: node on port %u: %ld writes seen ok, %ld seen failed; ok but not "
                    "stored %ld, stored twice %ld, failed but stored %ld, wrong scores %ld\n",
                    port, okCount, failedCount, lostOk, doubled, storedFailed, wrongScore);
        bad += lostOk + doubled + storedFailed + wrongScore > 0;
    }
    return bad == 0 ? 0 : 4;
}

Options Parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Die(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--members")
            o.members = std::stoi(value());
        else if (arg == "--seconds")
            o.seconds = std::stod(value());
        else if (arg == "--db-host")
            o.dbHost = value();
        else if (arg == "--db-port")
            o.dbPort = static_cast<unsigned>(std::stoul(value()));
        else if (arg == "--presence-port")
            o.presencePort = static_cast<unsigned>(std::stoul(value()));
        else if (arg == "--http-port")
            o.httpPort = static_cast<unsigned>(std::stoul(value()));
        else if (arg == "--chat-per-second")
            o.chatPerSecond = std::stod(value());
        else if (arg == "--switch-seconds")
            o.switchSeconds = std::stod(value());
        else if (arg == "--publishers-every")
            o.publishersEvery = std::stoi(value());
        else if (arg == "--workers")
            o.workers = std::stoi(value());
        else if (arg == "--db-pid")
            o.dbPids.push_back(std::stoi(value()));
        else if (arg == "--server-pid")
            o.serverPids.push_back(std::stoi(value()));
        else if (arg == "--journal")
            o.journal = value();
        else if (arg == "--at-half")
            o.atHalf = value();
        else if (arg == "--verify")
            o.verify = value();
        else if (arg == "--node-port")
            o.nodePorts.push_back(static_cast<unsigned>(std::stoul(value())));
        else
            Die("unknown option " + arg);
    }
    if (o.members < 1)
        Die("--members must be at least 1");
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = Parse(argc, argv);
    if (!options.verify.empty())
        return Verify(options);
    return RunCommunity(options);
}
