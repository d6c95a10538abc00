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
