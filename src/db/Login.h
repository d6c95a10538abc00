#pragma once

#include <optional>
#include <string>

struct Session;
struct Settings;
class DbSession;

// What the account steps give back; the dialogs word each for the user.
enum class RegisterOutcome {
    Registered,
    Failed, // a statement failed, or an earlier try could not be settled
    NameTaken,
    NotStored, // the account's own write failed
};
enum class LoginOutcome {
    LoggedIn,
    Failed, // the statement failed
    NoMatch,
};
enum class PasswordChangeOutcome {
    Changed,
    Failed,
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
    RegisterOutcome Register(const AccountEntry& account);
    // Whether an account has exactly this name and password. False when either text is
    // empty or the database is not Connected; then nothing is sent.
    bool CheckUser(const std::string& name, const std::string& password);
    // Stores a new password for the account; none when nothing was tried (a text empty, the
    // database not Connected).
    std::optional<PasswordChangeOutcome> ChangePassword(const std::string& name,
                                                        const std::string& newPassword);
    // Whether an earlier change of this account to this password, whose outcome could not be
    // learned then, turned out stored: then the user's new try is already done. False when
    // there is none, or the database is not Connected.
    bool PasswordChangeStored(const std::string& name, const std::string& newPassword);
    // Runs the login statement for the stored name and password.
    LoginOutcome DoLogin();

    std::string UserName;
    std::string Password;

private:
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
};
