#include "db/CheckedWrite.h"

#include "db/DbSession.h"
#include "db/Statements.h"

#include <algorithm>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How long to wait before connecting again to a database that refused the connection.
constexpr auto kConnectPause = std::chrono::milliseconds(250);

// Runs a statement, and while no connection can be made for it (a node gone, a cluster
// moving the client to another), connects again until the deadline. A read whose
// connection was lost is sent again as well: it changes nothing.
bool SendWithin(DbSession& db, const std::string& statement, bool read, ActionDeadline deadline)
{
    for (;;) {
        if (db.Query(statement))
            return true;
        const bool again = db.LastUnreachable() || (read && db.LastLost());
        const auto now = Clock::now();
        if (!again || now >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(kConnectPause, deadline - now));
    }
}

enum class Answer {
    Yes,
    No,
    Refused,     // the server refused the question
    Unreachable, // the database could not be reached to ask, within the deadline
};

// Whether the statement gives a row.
Answer GivesRow(DbSession& db, const std::string& check, ActionDeadline deadline)
{
    const bool asked = SendWithin(db, check, true, deadline);
    const bool found = asked && db.RowCount() > 0;
    db.FreeResult();
    if (asked)
        return found ? Answer::Yes : Answer::No;
    return db.LastUnreachable() || db.LastLost() ? Answer::Unreachable : Answer::Refused;
}

std::string Entry(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (const auto part : parts) {
        out.append(part);
        out.push_back('\0');
    }
    return out;
}

void LeaveUnsettled(DbSession& db, const CheckedWrite& write)
{
    qCWarning(lcDb).nospace() << "a write was sent, and whether it is stored cannot be asked now ("
                              << db.LastError().c_str() << "); it is settled at the next write";
    db.UnsettledWrite = DbSession::Unsettled{write.stored, write.entry, write.ifStoredLater,
                                             write.ifNotStoredLater};
}

// A question the server refuses would be refused again: keeping the write to ask later
// would block every write after it.
void DropRefused(const DbSession& db)
{
    qCWarning(lcDb).nospace() << "the server refused to tell whether a write whose connection was"
                              << " lost is stored (" << db.LastError().c_str()
                              << "); the write is given up, stored or not";
}

} // namespace

ActionDeadline DeadlineOf(const DbSession& db)
{
    return Clock::now() + db.ActionBound();
}

WriteOutcome Store(DbSession& db, const CheckedWrite& write, ActionDeadline deadline)
{
    for (;;) {
        if (SendWithin(db, write.statement, false, deadline))
            return WriteOutcome::Stored;
        if (!db.LastLost())
            return WriteOutcome::NotStored;
        // Asking connects again first, which ends the lost connection on the server: whatever
        // the answer, it cannot change afterwards.
        switch (GivesRow(db, write.stored, deadline)) {
        case Answer::Yes:
            qCInfo(lcDb) << "a write whose connection was lost is stored";
            return WriteOutcome::Stored;
        case Answer::Unreachable: LeaveUnsettled(db, write); return WriteOutcome::Unknown;
        case Answer::Refused: DropRefused(db); return WriteOutcome::Unknown;
        case Answer::No: break;
        }
        if (Clock::now() >= deadline) {
            qCWarning(lcDb) << "a write whose connection was lost is not stored, and there is no"
                            << "time left to send it again";
            return WriteOutcome::NotStored;
        }
        qCInfo(lcDb) << "a write whose connection was lost is not stored; it is sent again";
    }
}

EarlierWrite SettleEarlier(DbSession& db, std::string_view entry, ActionDeadline deadline)
{
    if (!db.UnsettledWrite)
        return EarlierWrite::None;
    const DbSession::Unsettled earlier = *db.UnsettledWrite;
    const Answer answer = GivesRow(db, earlier.stored, deadline);
    if (answer == Answer::Unreachable)
        return EarlierWrite::Unreachable;
    db.UnsettledWrite.reset();
    if (answer == Answer::Refused) {
        DropRefused(db);
        return EarlierWrite::None;
    }
    const bool stored = answer == Answer::Yes;
    qCWarning(lcDb) << "a write left unsettled turned out" << (stored ? "stored" : "not stored");
    const std::string& followUp = stored ? earlier.ifStoredLater : earlier.ifNotStoredLater;
    // The follow-ups are guarded writes: running one twice changes nothing.
    if (!followUp.empty() && !SendWithin(db, followUp, false, deadline))
        qCWarning(lcDb) << "the follow-up of a write left unsettled failed:"
                        << db.LastError().c_str();
    return stored && !earlier.entry.empty() && earlier.entry == entry
        ? EarlierWrite::SameEntryStored
        : EarlierWrite::None;
}

bool StoreOnce(DbSession& db, const CheckedWrite& write)
{
    const ActionDeadline deadline = DeadlineOf(db);
    switch (SettleEarlier(db, write.entry, deadline)) {
    case EarlierWrite::SameEntryStored: return true;
    case EarlierWrite::Unreachable: return false;
    case EarlierWrite::None: break;
    }
    return Store(db, write, deadline) == WriteOutcome::Stored;
}

CheckedWrite BoardPostWrite(const DbSession& db, std::string_view user, std::string_view message,
                            std::string_view time)
{
    const Statements st(db);
    return {st.PostMessage(user, message, time),
            st.PostStored(user, message, time),
            Entry({"board", user, message}),
            {},
            {}};
}

CheckedWrite QuickPostWrite(const DbSession& db, std::string_view user, std::string_view title,
                            std::string_view link, std::string_view time)
{
    const Statements st(db);
    return {st.QuickPost(user, title, link, time),
            st.QuickPostStored(user, title, link, time),
            Entry({"quick post", user, title, link}),
            {},
            {}};
}

std::string PasswordEntry(std::string_view name, std::string_view newPassword)
{
    return Entry({"password", name, newPassword});
}

CheckedWrite PasswordWrite(const DbSession& db, std::string_view name, std::string_view newPassword)
{
    const Statements st(db);
    return {st.ChangePassword(name, newPassword),
            st.PasswordCheck(name, newPassword),
            PasswordEntry(name, newPassword),
            {},
            {}};
}

std::string NewAccountEntry(std::string_view name, std::string_view password)
{
    return Entry({"account", name, password});
}

CheckedWrite NewAccountWrite(const DbSession& db, std::string_view name, std::string_view password,
                             std::string_view sex, std::string_view age, std::string_view area,
                             std::string_view qq, std::string_view phone, std::string_view mail)
{
    const Statements st(db);
    return {st.NewAccount(name, password, sex, age, area, qq, phone, mail),
            st.AccountStored(name, password),
            NewAccountEntry(name, password),
            {},
            {}};
}

std::string UploadEntry(std::string_view user, std::string_view name, std::string_view link,
                        std::string_view requiredScore)
{
    return Entry({"video", user, name, link, requiredScore});
}

UploadOutcome StoreUpload(DbSession& db, std::string_view user, long long score, int points,
                          std::string_view name, std::string_view link, std::string_view time,
                          std::string_view requiredScore, ActionDeadline deadline)
{
    const Statements st(db);
    const std::string before = std::to_string(score);
    const std::string after = std::to_string(score + points);
    // The points go back only where the score is still what the upload wrote.
    const std::string takeBack = st.SetScoreWhereStill(user, before, after);

    // Points whose outcome stays unknown are taken back once they turn out stored: the
    // user was told the upload failed.
    const CheckedWrite pointsWrite{
        st.SetScore(user, after), st.ScoreIs(user, after), {}, takeBack, {}};
    if (Store(db, pointsWrite, deadline) != WriteOutcome::Stored)
        return UploadOutcome::PointsNotStored;

    // A video whose outcome stays unknown keeps its points if it turns out stored (and a
    // retry of the same upload is answered by it), and gives them back if not.
    const CheckedWrite videoWrite{st.UploadVideo(user, name, link, time, requiredScore),
                                  st.VideoStored(user, name, link, time, requiredScore),
                                  UploadEntry(user, name, link, requiredScore),
                                  {},
                                  takeBack};
    switch (Store(db, videoWrite, deadline)) {
    case WriteOutcome::Stored: return UploadOutcome::Done;
    case WriteOutcome::Unknown: return UploadOutcome::VideoNotStored;
    case WriteOutcome::NotStored: break;
    }
    // No video, no points.
    const CheckedWrite takeBackWrite{takeBack, st.ScoreIs(user, before), {}, {}, takeBack};
    if (Store(db, takeBackWrite, deadline) == WriteOutcome::Stored)
        qCWarning(lcDb) << "upload: video insert refused; the points were taken back where the"
                        << "score was still the one the upload wrote";
    else
        qCWarning(lcDb) << "upload: video insert refused, and the points could not be taken back"
                        << "now: the score should be" << score;
    return UploadOutcome::VideoNotStored;
}
