#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <mysql.h>

#include <QLoggingCategory>

// Why a statement or a connection failed, for an operator: "zumalo.db".
Q_DECLARE_LOGGING_CATEGORY(lcDb)

struct Settings;

// One row of the current result: a GBK text per selected column, nullopt for SQL NULL.
using DbRow = std::vector<std::optional<std::string>>;

// A NULL column reads as an empty text, as every caller wants it.
inline std::string Field(const DbRow& row, std::size_t i)
{
    return i < row.size() && row[i] ? *row[i] : std::string();
}

// The program's one database connection and its one current result. Every statement
// runs through Query, one at a time, and its rows are read before the next one runs.
class DbSession
{
public:
    // What a connection needs of the settings; the values themselves live in Settings.
    struct Options
    {
        unsigned port;
        std::string database;
        std::string charset;
        unsigned connectTimeoutSeconds;
        unsigned readTimeoutSeconds;
        unsigned writeTimeoutSeconds;

        static Options From(const Settings& settings);
    };

    // The program's own settings (Settings::Defaults) unless told otherwise.
    DbSession();
    explicit DbSession(Options options);
    explicit DbSession(const Settings& settings);
    ~DbSession();
    DbSession(const DbSession&) = delete;
    DbSession& operator=(const DbSession&) = delete;

    // Connects to the database of the options on host (a numeric address: "localhost"
    // would mean the Unix socket). An earlier connection is closed first. After a success the
    // session reconnects by itself with the same host and account (see Query) until Close.
    // A failed Open with the host and account of an earlier success leaves the session as a
    // lost connection leaves it: the next statement connects again.
    bool Open(const std::string& host, const std::string& user, const std::string& password);
    // Runs one statement; its result (or none) becomes the current result.
    //
    // A lost connection does not end the session. When the connection was lost or timed out,
    // the next statement connects again first. A read (select) that finds the connection
    // gone at once (the server restarted) connects again and runs once more. A statement
    // that timed out (a hung server) is not repeated, so a statement never waits longer than
    // the read timeout plus one connect timeout. A write is never repeated here: whether
    // it was stored is for CheckedWrite to find out (LastLost).
    bool Query(std::string_view statement);
    // Whether the last Query failed because its connection was lost or timed out, rather
    // than refused by the server: then the server may have run it, or may still run it.
    bool LastLost() const { return m_lastLost; }
    // Whether the last Query failed because no connection could be made for it: then
    // nothing was sent.
    bool LastUnreachable() const { return m_lastUnreachable; }
    // The server's or the client library's reason for the last failure ("" after a
    // success), for the log: never the statement, which may hold a password.
    const std::string& LastError() const { return m_lastError; }
    // How long one user action may wait on the database: a connect and a statement.
    std::chrono::seconds ActionBound() const
    {
        return std::chrono::seconds(m_options.connectTimeoutSeconds + m_options.readTimeoutSeconds);
    }
    // Whether the session connects again by itself at the next statement (after an Open
    // that succeeded, until Close).
    bool Reconnects() const { return m_reconnectable; }
    std::optional<DbRow> FetchRow();
    std::uint64_t RowCount() const;
    unsigned FieldCount() const;
    bool FreeResult();
    bool Close();

    // Quotes a value for a statement on this connection's character set, so that the
    // value is stored as typed and cannot end its literal early.
    std::string Escape(std::string_view value) const;
    bool IsOpen() const { return m_open; }

    // Told when a call that waits on the server begins and when it ends, however it ends: the
    // windows show the wait cursor meanwhile. Open, Query and Close wait; reading the rows
    // of a result does not. Neither function may throw; either may be empty.
    struct BusyHook
    {
        std::function<void()> begin;
        std::function<void()> end;
    };
    void SetBusyHook(BusyHook hook) { m_busy = std::move(hook); }
    const BusyHook& GetBusyHook() const { return m_busy; }

    // The outcome of the last connection attempt of the login or change-password dialog.
    bool Connected = false;

    // A write sent on a connection that was lost, whose outcome could not be asked because
    // the database could not be reached: the next checked write settles it (CheckedWrite.h).
    struct Unsettled
    {
        std::string stored;
        std::string entry;
        std::string ifStoredLater;
        std::string ifNotStoredLater;
    };
    std::optional<Unsettled> UnsettledWrite;

private:
    class BusyScope;
    // The server's thread of a connection, and the client's port that tells it apart from
    // another client's thread of the same number (after a restart, on another server).
    struct ServerThread
    {
        unsigned long id = 0;
        unsigned localPort = 0;
    };

    bool Connect();
    // Connects again with what Open was given. Once it succeeds, nothing sent on an earlier
    // connection can still be stored: that connection is killed if the server still runs
    // it, and gone.
    bool ConnectAgain();
    bool Run(std::string_view statement, bool& lost);
    void DropLostConnection();
    bool EndLostThreads();

    Options m_options;
    BusyHook m_busy;
    MYSQL m_handle{};
    bool m_initialized = false;
    bool m_open = false;
    MYSQL_RES* m_result = nullptr;
    // What Open was given, for the reconnects; empty until an Open succeeds.
    std::string m_host, m_user, m_password;
    bool m_reconnectable = false;
    bool m_lastLost = false;
    bool m_lastUnreachable = false;
    std::string m_lastError;
    ServerThread m_thread;                   // of the open connection
    std::vector<ServerThread> m_lostThreads; // of lost ones that may still run a statement
};

// Escaping for use without a connection, as the server's gb2312 escape does it: quotes,
// backslashes and control bytes get a backslash; whole gb2312 characters are kept.
std::string EscapeGb2312(std::string_view value);
