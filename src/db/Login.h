#pragma once

#include <string>

struct Session;
struct Settings;
class DbSession;

// What an account step gives back: success, or the text to show the user (GBK).
struct StepResult
{
    bool ok = true;
    std::string message;

    static StepResult Success() { return {}; }
    static StepResult Failure(std::string text) { return {false, std::move(text)}; }
    explicit operator bool() const { return ok; }
};

// The account class that the login, registration and change-password dialogs each make.
class login
{
public:
    login(Session& session, DbSession& db, const Settings& settings);

    // Opens the database on the session's server address with the program's account.
    bool Connect();
    // Stores name and password (untrimmed) here and in the session, when both are non-empty.
    void SetUser(const std::string& name, const std::string& password);
    // Runs the login statement for the stored name and password. A failure carries the text
    // that the caller shows without an owner window.
    StepResult DoLogin();

    std::string UserName;
    std::string Password;

private:
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
};
