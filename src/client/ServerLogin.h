#pragma once

#include <functional>
#include <memory>
#include <string>

class DbSession;
class Waits;
class login;
struct Session;
struct Settings;

// The way onto the community's server at start-up: the server is found first (the address
// probe), and each login attempt connects again, first finding the server again while it was
// not found: it may be back by now.
class ServerLogin
{
public:
    // Finds the server and writes Session::ServerAddress. Null means the program's own.
    using Resolver = std::function<void(Session&, const Settings&)>;
    enum class Outcome {
        LoggedIn,
        NoConnection, // no server found, or it refused the connection
        Failed,       // the login statement failed
        NoMatch,      // no account with this name and password
    };

    ServerLogin(Session& session, DbSession& db, const Settings& settings, const Waits& waits,
                Resolver resolve = {});
    ~ServerLogin();
    ServerLogin(const ServerLogin&) = delete;
    ServerLogin& operator=(const ServerLogin&) = delete;

    // Whether the session holds the server's address.
    bool Found() const;
    // Finds the server within the bounds of settings (the start-up's own, say).
    void Resolve(const Settings& settings);
    // Finds the server again, a wait of its own, when it was not found before.
    void ResolveAgainIfNotFound();
    // Connects and logs in with the texts as typed, blanks included; both are non-blank.
    Outcome Attempt(const std::string& name, const std::string& password);

private:
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    const Waits& m_waits;
    Resolver m_resolve;
    std::unique_ptr<login> m_login;
};
