#include "db/DbSession.h"

#include "core/Settings.h"

#include <algorithm>
#include <cstring>

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

DbSession::Options DbSession::Options::From(const Settings& settings)
{
    return {settings.dbPort,
            settings.dbName,
            settings.dbCharset,
            settings.dbClientFlags,
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
        mysql_close(&m_handle);
}

bool DbSession::Open(const std::string& host, const std::string& user, const std::string& password)
{
    const BusyScope busy(m_busy);
    // A second Open starts from a fresh handle; the earlier connection is closed rather
    // than leaked.
    FreeResult();
    if (m_initialized) {
        mysql_close(&m_handle);
        m_initialized = false;
        m_open = false;
    }
    if (!mysql_init(&m_handle))
        return false;
    m_initialized = true;
    mysql_options(&m_handle, MYSQL_SET_CHARSET_NAME, m_options.charset.c_str());
    mysql_options(&m_handle, MYSQL_OPT_CONNECT_TIMEOUT, &m_options.connectTimeoutSeconds);
    mysql_options(&m_handle, MYSQL_OPT_READ_TIMEOUT, &m_options.readTimeoutSeconds);
    mysql_options(&m_handle, MYSQL_OPT_WRITE_TIMEOUT, &m_options.writeTimeoutSeconds);
    m_open = mysql_real_connect(&m_handle, host.c_str(), user.c_str(), password.c_str(),
                                m_options.database.c_str(), m_options.port, nullptr,
                                m_options.clientFlags)
        != nullptr;
    if (!m_open)
        qCWarning(lcDb) << "cannot connect to" << host.c_str() << "as" << user.c_str() << ":"
                        << mysql_error(&m_handle);
    return m_open;
}

bool DbSession::Query(std::string_view statement)
{
    FreeResult();
    if (!m_open)
        return false;
    const BusyScope busy(m_busy);
    // The statement ends at its first zero byte.
    const std::size_t length = std::min(statement.find('\0'), statement.size());
    const bool ok = mysql_real_query(&m_handle, statement.data(), length) == 0;
    m_result = mysql_store_result(&m_handle);
    // A statement of several parts may leave more results; drain them so the
    // connection stays usable for the next statement.
    while (mysql_more_results(&m_handle) && mysql_next_result(&m_handle) == 0) {
        if (MYSQL_RES* extra = mysql_store_result(&m_handle))
            mysql_free_result(extra);
    }
    // The server's reason only: the statement itself may hold a password.
    if (!ok)
        qCWarning(lcDb) << "statement failed:" << mysql_errno(&m_handle) << mysql_error(&m_handle);
    return ok;
}

std::optional<DbRow> DbSession::FetchRow()
{
    if (!m_result)
        return std::nullopt;
    MYSQL_ROW row = mysql_fetch_row(m_result);
    if (!row)
        return std::nullopt;
    const unsigned n = mysql_num_fields(m_result);
    const unsigned long* lengths = mysql_fetch_lengths(m_result);
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
    return m_result ? mysql_num_rows(m_result) : 0;
}

unsigned DbSession::FieldCount() const
{
    return m_result ? mysql_num_fields(m_result) : 0;
}

bool DbSession::FreeResult()
{
    if (m_result) {
        mysql_free_result(m_result);
        m_result = nullptr;
    }
    return true;
}

bool DbSession::Close()
{
    FreeResult();
    if (m_initialized) {
        const BusyScope busy(m_busy); // the farewell goes to the server
        mysql_close(&m_handle);
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
    const unsigned long n = mysql_real_escape_string(const_cast<MYSQL*>(&m_handle), out.data(),
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
