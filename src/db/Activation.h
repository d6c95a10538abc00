#pragma once

#include "db/Statements.h"

#include <string>
#include <string_view>

class DbSession;

// Whether a user's score lets them open an entry that needs requiredScore.
constexpr bool ScoreAllows(int score, int requiredScore)
{
    return score >= requiredScore;
}

// What opening a row of a list comes to. Board rows open nothing.
struct Activation
{
    enum class Kind {
        Open,         // open link
        Nothing,      // nothing to do: a board row, or the entry or the account is gone
        LookupFailed, // the entry could not be read
        ScoreFailed,  // the user's score could not be read (videos)
        ScoreTooLow,  // the video needs more score than the user has
        NotANumber,   // a stored score is no integer: error holds the conversion's text
    };
    Kind kind = Kind::Nothing;
    std::string link;  // GBK, for Open
    std::string error; // GBK, for NotANumber
};

// Looks up the entry with this title; a video is opened only when user's score reaches the
// score it needs, read after the entry.
Activation Activate(DbSession& db, ListKind list, std::string_view title, std::string_view user);
