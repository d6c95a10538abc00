#pragma once

#include <optional>
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

// A new account as typed in the registration dialog: GBK texts, untrimmed; sex is "1" or "0".
struct AccountEntry
{
    std::string name;
    std::string password;
    std::string sex;
    std::string age;
    std::string area;
    std::string qq;
    std::string phone;
    std::string mail;
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
    // Creates the account unless its name (untrimmed) is taken; it starts with score 0.
    // A failure carries the text that the registration dialog shows.
    StepResult Register(const AccountEntry& account);
    // Whether an account has exactly this name and password. False when either text is
    // empty or the database is not Connected; then nothing is sent.
    bool CheckUser(const std::string& name, const std::string& password);
    // Stores a new password for the account. Gives the text to show without an owner
    // window, or none when nothing was tried (a text empty, the database not Connected).
    std::optional<std::string> ChangePassword(const std::string& name,
                                              const std::string& newPassword);
    // Whether an earlier change of this account to this password, whose outcome could not be
    // learned then, turned out stored: then the user's new try is already done. False when
    // there is none, or the database is not Connected.
    bool PasswordChangeStored(const std::string& name, const std::string& newPassword);
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
