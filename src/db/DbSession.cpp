#include "db/DbSession.h"

#include "core/Settings.h"
#include "db/MariaDbLibrary.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

Q_LOGGING_CATEGORY(lcDb, "zumalo.db", QtWarningMsg)

// The busy hook's begin, and its end when the scope goes, also when the call fails.
class DbSession::BusyScope
{
public:
    explicit BusyScope(const BusyHook& hook)
        : m_hook(hook)
    {
        if (m_hook.begin)
            m_hook.begin();
    }
    ~BusyScope()
    {
        if (m_hook.end)
            m_hook.end();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const BusyHook& m_hook;
};

namespace {

using Clock = std::chrono::steady_clock;

// The client library's functions; only called once a handle exists, that is after Connect
// has loaded the library.
const MariaDbApi& Api()
{
    return *LoadMariaDb();
}

// The errors after which the connection is gone or can no longer be trusted: the server
// may or may not have run the statement. Everything else is the server refusing it.
bool IsConnectionLoss(unsigned error)
{
    switch (error) {
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case ER_SERVER_SHUTDOWN:
    case ER_CONNECTION_KILLED:
    case ER_NET_READ_ERROR:
    case ER_NET_READ_INTERRUPTED:
    case ER_NET_ERROR_ON_WRITE:
    case ER_NET_WRITE_INTERRUPTED: return true;
    default: return false;
    }
}

// A select may be sent again without changing anything; every other statement writes.
bool IsRead(std::string_view statement)
{
    const std::size_t start = statement.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || statement.size() - start < 6)
        return false;
    std::string word(statement.substr(start, 6));
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word == "select";
}

unsigned LocalPort(MYSQL* handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const auto fd = Api().get_socket(handle);
    if (::getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

} // namespace

DbSession::Options DbSession::Options::From(const Settings& settings)
{
    return {settings.dbPort,
            settings.dbName,
            settings.dbCharset,
            settings.dbConnectTimeoutSeconds,
            settings.dbReadTimeoutSeconds,
            settings.dbWriteTimeoutSeconds};
}

DbSession::DbSession()
    : DbSession(Settings::Defaults())
{
}

DbSession::DbSession(Options options)
    : m_options(std::move(options))
{
}

DbSession::DbSession(const Settings& settings)
    : m_options(Options::From(settings))
{
}

DbSession::~DbSession()
{
    // No busy hook here: whoever installed it may be gone already.
    FreeResult();
    if (m_initialized)
        Api().close(&m_handle);
}

bool DbSession::Open(const std::string& host, const std::string& user, const std::string& password)
{
    const BusyScope busy(m_busy);
    FreeResult();
    const bool sameAccount =
        m_reconnectable && host == m_host && user == m_user && password == m_password;
    m_host = host;
    m_user = user;
    m_password = password;
    const bool connected = Connect() && EndLostThreads();
    if (!connected)
        m_open = false;
    // The database not answering now is no reason to give up the account that worked: the
    // next statement tries again, as after any lost connection.
    m_reconnectable = connected || sameAccount;
    return m_open;
}

bool DbSession::Connect()
{
    // Every connection starts from a fresh handle; the earlier one is closed rather than
    // leaked.
    if (m_initialized) {
        Api().close(&m_handle);
        m_initialized = false;
        m_open = false;
    }
    std::string whyNot;
    if (!LoadMariaDb(&whyNot)) {
        qCWarning(lcDb) << "cannot load the database's client library:" << whyNot.c_str();
        return false;
    }
    if (!Api().init(&m_handle))
        return false;
    m_initialized = true;
    Api().options(&m_handle, MYSQL_SET_CHARSET_NAME, m_options.charset.c_str());
    Api().options(&m_handle, MYSQL_OPT_CONNECT_TIMEOUT, &m_options.connectTimeoutSeconds);
    Api().options(&m_handle, MYSQL_OPT_READ_TIMEOUT, &m_options.readTimeoutSeconds);
    Api().options(&m_handle, MYSQL_OPT_WRITE_TIMEOUT, &m_options.writeTimeoutSeconds);
    // No client flags: a query is one statement, and the server refuses a second one
    // piggy-backed on it after a ';'.
    m_open = Api().real_connect(&m_handle, m_host.c_str(), m_user.c_str(), m_password.c_str(),
                                m_options.database.c_str(), m_options.port, nullptr, 0)
        != nullptr;
    if (!m_open) {
        m_lastError = std::to_string(Api().errnum(&m_handle)) + " " + Api().error(&m_handle);
        qCWarning(lcDb) << "cannot connect to" << m_host.c_str() << "as" << m_user.c_str() << ":"
                        << Api().error(&m_handle);
        return false;
    }
    m_thread = {Api().thread_id(&m_handle), LocalPort(&m_handle)};
    return true;
}

bool DbSession::ConnectAgain()
{
    if (!Connect())
        return false;
    qCInfo(lcDb) << "connected again to" << m_host.c_str();
    if (!EndLostThreads()) {
        DropLostConnection();
        return false;
    }
    return true;
}

// The connection is closed at once; its server thread is remembered, since a hung server
// that resumes still runs what was sent on it.
void DbSession::DropLostConnection()
{
    FreeResult();
    if (m_open && m_thread.id != 0)
        m_lostThreads.push_back(m_thread);
    if (m_initialized) {
        Api().close(&m_handle);
        m_initialized = false;
    }
    m_open = false;
    m_thread = {};
}

// Kills the server threads of lost connections that the server still runs (a user may kill
// its own), and waits until they are gone, so that what was sent on them is either stored
// by now or never will be. A thread is ours only with our client port as well as its
// number: after a restart, or on another server, the number is someone else's.
bool DbSession::EndLostThreads()
{
    const auto deadline = Clock::now() + std::chrono::seconds(m_options.connectTimeoutSeconds);
    while (!m_lostThreads.empty()) {
        const ServerThread thread = m_lostThreads.back();
        const std::string ours =
            " from information_schema.processlist where id = " + std::to_string(thread.id)
            + " and host like '%:" + std::to_string(thread.localPort) + "'";
        bool lost = false;
        bool killed = false;
        for (;;) {
            if (!Run("select id" + ours, lost)) {
                if (lost)
                    return false;
                m_lostThreads.clear(); // the server will not tell: nothing more to do
                return true;
            }
            const bool running = RowCount() > 0;
            FreeResult();
            if (!running)
                break;
            if (!killed) {
                qCInfo(lcDb) << "killing the server thread" << thread.id << "of a lost connection";
                if (!Run("kill connection " + std::to_string(thread.id), lost) && lost)
                    return false;
                killed = true;
            } else if (Clock::now() > deadline) {
                qCWarning(lcDb) << "the server thread" << thread.id << "of a lost connection does"
                                << "not end";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_lostThreads.pop_back();
    }
    return true;
}

bool DbSession::Run(std::string_view statement, bool& lost)
{
    FreeResult();
    // The statement ends at its first zero byte.
    const std::size_t length = std::min(statement.find('\0'), statement.size());
    bool ok = Api().real_query(&m_handle, statement.data(), length) == 0;
    m_result = Api().store_result(&m_handle);
    // Rows promised but not received: the connection broke while they came.
    if (ok && !m_result && Api().field_count(&m_handle) > 0)
        ok = false;
    lost = !ok && IsConnectionLoss(Api().errnum(&m_handle));
    // The server's reason only: the statement itself may hold a password.
    if (!ok) {
        m_lastError = std::to_string(Api().errnum(&m_handle)) + " " + Api().error(&m_handle);
        qCWarning(lcDb) << "statement failed:" << Api().errnum(&m_handle) << Api().error(&m_handle);
    }
    return ok;
}

bool DbSession::Query(std::string_view statement)
{
    FreeResult();
    m_lastLost = false;
    m_lastUnreachable = false;
    m_lastError.clear();
    if (!m_open && !m_reconnectable) {
        m_lastError = "not connected";
        return false;
    }
    const BusyScope busy(m_busy);
    // A connection lost earlier is made again before the statement; when that fails,
    // nothing was sent.
    bool connectedNow = false;
    if (!m_open || !m_lostThreads.empty()) {
        if (!ConnectAgain()) {
            m_lastUnreachable = true;
            return false;
        }
        connectedNow = true;
    }
    const auto sent = Clock::now();
    bool lost = false;
    if (Run(statement, lost))
        return true;
    if (!lost)
        return false;
    DropLostConnection();
    // A hung server used up the read timeout: trying again could double the wait.
    const bool timedOut = Clock::now() - sent
        >= std::chrono::seconds(m_options.readTimeoutSeconds) - std::chrono::milliseconds(500);
    if (connectedNow || timedOut || !IsRead(statement) || !ConnectAgain()) {
        m_lastLost = true;
        return false;
    }
    if (Run(statement, lost))
        return true;
    if (lost)
        DropLostConnection();
    m_lastLost = lost;
    return false;
}

std::optional<DbRow> DbSession::FetchRow()
{
    if (!m_result)
        return std::nullopt;
    MYSQL_ROW row = Api().fetch_row(m_result);
    if (!row)
        return std::nullopt;
    const unsigned n = Api().num_fields(m_result);
    const unsigned long* lengths = Api().fetch_lengths(m_result);
    DbRow out;
    out.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        if (row[i])
            out.emplace_back(std::string(row[i], lengths ? lengths[i] : std::strlen(row[i])));
        else
            out.emplace_back(std::nullopt);
    }
    return out;
}

std::uint64_t DbSession::RowCount() const
{
    return m_result ? Api().num_rows(m_result) : 0;
}

unsigned DbSession::FieldCount() const
{
    return m_result ? Api().num_fields(m_result) : 0;
}

bool DbSession::FreeResult()
{
    if (m_result) {
        Api().free_result(m_result);
        m_result = nullptr;
    }
    return true;
}

bool DbSession::Close()
{
    FreeResult();
    m_reconnectable = false;
    m_lostThreads.clear();
    if (m_initialized) {
        const BusyScope busy(m_busy); // the farewell goes to the server
        Api().close(&m_handle);
        m_initialized = false;
    }
    m_open = false;
    return true;
}

std::string DbSession::Escape(std::string_view value) const
{
    if (!m_open)
        return EscapeGb2312(value);
    std::string out(value.size() * 2 + 1, '\0');
    const unsigned long n = Api().real_escape_string(const_cast<MYSQL*>(&m_handle), out.data(),
                                                     value.data(), value.size());
    out.resize(n);
    return out;
}

std::string EscapeGb2312(std::string_view value)
{
    std::string out;
    out.reserve(value.size() + 8);
    for (std::size_t i = 0; i < value.size();) {
        const auto c = static_cast<unsigned char>(value[i]);
        const auto next = i + 1 < value.size() ? static_cast<unsigned char>(value[i + 1]) : 0;
        // A gb2312 character is two bytes of 0xA1..0xFE; anything else is one byte, so a
        // 0x27 or 0x5C after a lone high byte is escaped like any other.
        if (c >= 0xA1 && c <= 0xFE && next >= 0xA1 && next <= 0xFE) {
            out.append(value.substr(i, 2));
            i += 2;
            continue;
        }
        switch (c) {
        case 0: out += "\\0"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '"': out += "\\\""; break;
        case 0x1A: out += "\\Z"; break;
        default: out.push_back(static_cast<char>(c));
        }
        ++i;
    }
    return out;
}
