#include "client/ServerLogin.h"

#include "core/Session.h"
#include "core/Waits.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "net/AddressResolution.h"

ServerLogin::ServerLogin(Session& session, DbSession& db, const Settings& settings,
                         const Waits& waits, Resolver resolve)
    : m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_waits(waits)
    , m_resolve(std::move(resolve))
    , m_login(std::make_unique<login>(session, db, settings))
{
}

ServerLogin::~ServerLogin() = default;

bool ServerLogin::Found() const
{
    return IsServerAddress(m_session.ServerAddress);
}

void ServerLogin::Resolve(const Settings& settings)
{
    if (m_resolve)
        m_resolve(m_session, settings);
    else
        ResolveServerAddress(m_session, settings);
}

void ServerLogin::ResolveAgainIfNotFound()
{
    if (Found())
        return;
    const WaitScope waiting(m_waits);
    Resolve(m_settings);
}

ServerLogin::Outcome ServerLogin::Attempt(const std::string& name, const std::string& password)
{
    ResolveAgainIfNotFound();
    m_db.Connected = Found() && m_login->Connect();
    if (!m_db.Connected)
        return Outcome::NoConnection;
    m_login->SetUser(name, password);
    switch (m_login->DoLogin()) {
    case LoginOutcome::Failed: return Outcome::Failed;
    case LoginOutcome::NoMatch: return Outcome::NoMatch;
    case LoginOutcome::LoggedIn: break;
    }
    return Outcome::LoggedIn;
}
