#pragma once

#include <optional>
#include <string>
#include <string_view>

class DbSession;

// What the profile box shows of an account, as stored (GBK; NULL reads as "").
struct Profile
{
    std::string sex; // "1" man, "0" woman, anything else unsaid
    std::string age;
    std::string area;
    std::string qq;
    std::string phone;
    std::string mail;
    std::string score;
};

// The profile of name, or none when the statement fails or no account has that name.
std::optional<Profile> ReadProfile(DbSession& db, std::string_view name);

// A user's score as a number.
struct ScoreRead
{
    enum class Kind {
        Read,
        Failed,     // the statement failed
        NoAccount,  // no account has that name
        NotANumber, // the stored score is no integer: error holds the conversion's text
    };
    Kind kind = Kind::Failed;
    int score = 0;
    std::string error; // GBK
};
ScoreRead ReadScore(DbSession& db, std::string_view name);

// Whether a name (untrimmed) is free for a new account.
enum class NameCheck {
    Free,
    Taken,
    Failed, // the statement failed
};
NameCheck CheckNameFree(DbSession& db, std::string_view name);

// Whether an account has exactly this name and password. A failed statement counts as no
// account.
bool PasswordMatches(DbSession& db, std::string_view name, std::string_view password);

// The login statement's answer for a name and password.
enum class LoginCheck {
    Match,
    NoMatch,
    Failed, // the statement failed
};
LoginCheck CheckLogin(DbSession& db, std::string_view name, std::string_view password);

// Stores a new password: true when the server accepted the update (how many rows changed is
// not asked). A write checked like the others (CheckedWrite.h): a lost connection is answered
// by whether the new password is stored.
bool StorePassword(DbSession& db, std::string_view name, std::string_view newPassword);
