#include "db/Login.h"

#include "core/Session.h"
#include "core/Settings.h"
#include "db/Accounts.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"

login::login(Session& session, DbSession& db, const Settings& settings)
    : m_session(session)
    , m_db(db)
    , m_settings(settings)
{
}

bool login::Connect()
{
    return m_db.Open(m_session.ServerAddress, m_settings.dbUser, m_settings.dbPassword);
}

void login::SetUser(const std::string& name, const std::string& password)
{
    if (name.empty() || password.empty())
        return;
    UserName = name;
    m_session.UserName = name;
    Password = password;
    m_session.Password = password;
}

RegisterOutcome login::Register(const AccountEntry& account)
{
    // An earlier try of this registration whose outcome could not be learned then may have
    // been stored after all: then this try is already done.
    const ActionDeadline deadline = DeadlineOf(m_db);
    switch (SettleEarlier(m_db, NewAccountEntry(account.name, account.password), deadline)) {
    case EarlierWrite::SameEntryStored: return RegisterOutcome::Registered;
    case EarlierWrite::Unreachable: return RegisterOutcome::Failed;
    case EarlierWrite::None: break;
    }
    switch (CheckNameFree(m_db, account.name)) {
    case NameCheck::Failed: return RegisterOutcome::Failed;
    case NameCheck::Taken: return RegisterOutcome::NameTaken;
    case NameCheck::Free: break;
    }
    // A registration of the same name between the check and here fails on the unique key.
    if (Store(m_db,
              NewAccountWrite(m_db, account.name, account.password, account.sex, account.age,
                              account.area, account.qq, account.phone, account.mail),
              deadline)
        != WriteOutcome::Stored)
        return RegisterOutcome::NotStored;
    return RegisterOutcome::Registered;
}

bool login::CheckUser(const std::string& name, const std::string& password)
{
    if (name.empty() || password.empty() || !m_db.Connected)
        return false;
    // A rejected statement counts as no account.
    return PasswordMatches(m_db, name, password);
}

std::optional<PasswordChangeOutcome> login::ChangePassword(const std::string& name,
                                                           const std::string& newPassword)
{
    if (name.empty() || newPassword.empty() || !m_db.Connected)
        return std::nullopt;
    // The server accepting the update is the success; how many rows changed is not asked. A
    // lost connection is answered by whether the new password is stored.
    return StorePassword(m_db, name, newPassword) ? PasswordChangeOutcome::Changed
                                                  : PasswordChangeOutcome::Failed;
}

bool login::PasswordChangeStored(const std::string& name, const std::string& newPassword)
{
    return m_db.Connected
        && SettleEarlier(m_db, PasswordEntry(name, newPassword)) == EarlierWrite::SameEntryStored;
}

LoginOutcome login::DoLogin()
{
    switch (CheckLogin(m_db, UserName, Password)) {
    case LoginCheck::Failed: return LoginOutcome::Failed;
    case LoginCheck::NoMatch: return LoginOutcome::NoMatch;
    case LoginCheck::Match: break;
    }
    m_session.UserName = UserName;
    return LoginOutcome::LoggedIn;
}
