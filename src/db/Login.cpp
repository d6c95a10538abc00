#include "db/Login.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "db/Statements.h"

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

StepResult login::DoLogin()
{
    if (!m_db.Query(Statements(m_db).Login(UserName, Password)))
        return StepResult::Failure(Utf8ToGbk("登录失败，请重新登录。"));
    if (m_db.RowCount() == 0)
        return StepResult::Failure(Utf8ToGbk("用户名或密码不正确，请重新输入。"));
    m_session.UserName = UserName;
    m_db.FreeResult();
    return StepResult::Success();
}
