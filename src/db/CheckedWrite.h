#pragma once

#include <chrono>
#include <string>
#include <string_view>

class DbSession;

// A write whose outcome the client must know before it answers the user, also when the
// connection is lost or times out on the way: the server may have stored it, or may still
// store it when a hung server resumes. The statement itself goes as the catalogue makes it;
// whether it was stored is asked afterwards, by the row's own values.
struct CheckedWrite
{
    std::string statement; // the insert or update
    std::string stored;    // a read-only statement that gives a row when the write is stored
    // What makes the write this entry apart from its time stamp (kind, user, texts). A write
    // of the same entry after one left unsettled is the user trying again. Empty: never.
    std::string entry;
    // Run once the outcome of a write left unsettled is known, when stored and when not.
    std::string ifStoredLater;
    std::string ifNotStoredLater;
};

enum class WriteOutcome {
    Stored,
    NotStored, // refused, or never sent
    Unknown,   // sent, and the database could not be reached to ask: left unsettled
};

// When a user action that writes must be answered: one connect and one statement's wait
// (DbSession::ActionBound) after it began. Until then a database that cannot be reached is
// tried again, so that a cluster that moves the client to a live node answers the action.
using ActionDeadline = std::chrono::steady_clock::time_point;
ActionDeadline DeadlineOf(const DbSession& db);

// Runs the write. When its connection was lost or timed out, the session connects again
// (which ends the lost connection on the server, so it cannot store anything later) and asks
// whether the write is stored; when it is not, the write is sent again on the new
// connection. A database that cannot be reached is tried again until the deadline. When
// it cannot be reached to ask by then, the outcome is Unknown and the write is left
// unsettled on the session, to be settled by the next checked write. When the server
// refuses the question itself, the outcome is Unknown too, and the write is dropped with a
// log line: asking again would only be refused again.
WriteOutcome Store(DbSession& db, const CheckedWrite& write, ActionDeadline deadline);
inline WriteOutcome Store(DbSession& db, const CheckedWrite& write)
{
    return Store(db, write, DeadlineOf(db));
}

// Settles a write left unsettled, before a new checked write is sent, and runs its follow-up.
// SameEntryStored: the earlier write was of this entry and is stored, so the user's new try
// is already done and must not be sent again.
enum class EarlierWrite {
    None,
    SameEntryStored,
    Unreachable, // still cannot be asked: the new write must not be sent either
};
// An earlier write whose question the server refuses is dropped with a log line.
EarlierWrite SettleEarlier(DbSession& db, std::string_view entry, ActionDeadline deadline);
inline EarlierWrite SettleEarlier(DbSession& db, std::string_view entry)
{
    return SettleEarlier(db, entry, DeadlineOf(db));
}

// A single write as a user action: settles an earlier one, stores this one, and says whether
// it is stored (Unknown counts as not: the user is told it failed, and the next try of the
// same entry is answered by the earlier one when that was stored after all).
bool StoreOnce(DbSession& db, const CheckedWrite& write);

// The checked writes of the statement catalogue.
CheckedWrite BoardPostWrite(const DbSession& db, std::string_view user, std::string_view message,
                            std::string_view time);
CheckedWrite QuickPostWrite(const DbSession& db, std::string_view user, std::string_view title,
                            std::string_view link, std::string_view time);
// What the upload of a video stores: its points (score + points, where the score was read
// before), then the video. When the video is not stored the points are taken back, only
// where the score is still what the upload wrote.
enum class UploadOutcome {
    Done,
    PointsNotStored,
    VideoNotStored,
};
std::string UploadEntry(std::string_view user, std::string_view name, std::string_view link,
                        std::string_view requiredScore);
UploadOutcome StoreUpload(DbSession& db, std::string_view user, long long score, int points,
                          std::string_view name, std::string_view link, std::string_view time,
                          std::string_view requiredScore, ActionDeadline deadline);
std::string NewAccountEntry(std::string_view name, std::string_view password);
std::string PasswordEntry(std::string_view name, std::string_view newPassword);
CheckedWrite PasswordWrite(const DbSession& db, std::string_view name,
                           std::string_view newPassword);
CheckedWrite NewAccountWrite(const DbSession& db, std::string_view name, std::string_view password,
                             std::string_view sex, std::string_view age, std::string_view area,
                             std::string_view qq, std::string_view phone, std::string_view mail);
