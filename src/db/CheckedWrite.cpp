#include "db/CheckedWrite.h"

#include "db/DbSession.h"
#include "db/Statements.h"

#include <optional>

namespace {

// Whether the statement gives a row; nullopt when it cannot be asked.
std::optional<bool> GivesRow(DbSession& db, const std::string& check)
{
    if (!db.Query(check)) {
        db.FreeResult();
        return std::nullopt;
    }
    const bool found = db.RowCount() > 0;
    db.FreeResult();
    return found;
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
    qCWarning(lcDb) << "a write was sent, and whether it is stored cannot be asked now; it is"
                    << "settled at the next write";
    db.UnsettledWrite = DbSession::Unsettled{write.stored, write.entry, write.ifStoredLater,
                                             write.ifNotStoredLater};
}

} // namespace

WriteOutcome Store(DbSession& db, const CheckedWrite& write)
{
    if (db.Query(write.statement))
        return WriteOutcome::Stored;
    if (!db.LastLost())
        return WriteOutcome::NotStored;
    // Asking connects again first, which ends the lost connection on the server: whatever
    // the answer, it cannot change afterwards.
    const std::optional<bool> stored = GivesRow(db, write.stored);
    if (!stored) {
        LeaveUnsettled(db, write);
        return WriteOutcome::Unknown;
    }
    if (*stored) {
        qCInfo(lcDb) << "a write whose connection was lost is stored";
        return WriteOutcome::Stored;
    }
    qCInfo(lcDb) << "a write whose connection was lost is not stored; it is sent again";
    if (db.Query(write.statement))
        return WriteOutcome::Stored;
    if (!db.LastLost())
        return WriteOutcome::NotStored;
    LeaveUnsettled(db, write);
    return WriteOutcome::Unknown;
}

EarlierWrite SettleEarlier(DbSession& db, std::string_view entry)
{
    if (!db.UnsettledWrite)
        return EarlierWrite::None;
    const DbSession::Unsettled earlier = *db.UnsettledWrite;
    const std::optional<bool> stored = GivesRow(db, earlier.stored);
    if (!stored)
        return EarlierWrite::Unreachable;
    db.UnsettledWrite.reset();
    qCWarning(lcDb) << "a write left unsettled turned out" << (*stored ? "stored" : "not stored");
    const std::string& followUp = *stored ? earlier.ifStoredLater : earlier.ifNotStoredLater;
    // The follow-ups are guarded writes: running one twice changes nothing.
    if (!followUp.empty() && !db.Query(followUp))
        qCWarning(lcDb) << "the follow-up of a write left unsettled failed";
    return *stored && !earlier.entry.empty() && earlier.entry == entry
        ? EarlierWrite::SameEntryStored
        : EarlierWrite::None;
}

bool StoreOnce(DbSession& db, const CheckedWrite& write)
{
    switch (SettleEarlier(db, write.entry)) {
    case EarlierWrite::SameEntryStored: return true;
    case EarlierWrite::Unreachable: return false;
    case EarlierWrite::None: break;
    }
    return Store(db, write) == WriteOutcome::Stored;
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
                          std::string_view requiredScore)
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
    if (Store(db, pointsWrite) != WriteOutcome::Stored)
        return UploadOutcome::PointsNotStored;

    // A video whose outcome stays unknown keeps its points if it turns out stored (and a
    // retry of the same upload is answered by it), and gives them back if not.
    const CheckedWrite videoWrite{st.UploadVideo(user, name, link, time, requiredScore),
                                  st.VideoStored(user, name, link, time, requiredScore),
                                  UploadEntry(user, name, link, requiredScore),
                                  {},
                                  takeBack};
    switch (Store(db, videoWrite)) {
    case WriteOutcome::Stored: return UploadOutcome::Done;
    case WriteOutcome::Unknown: return UploadOutcome::VideoNotStored;
    case WriteOutcome::NotStored: break;
    }
    // No video, no points.
    const CheckedWrite takeBackWrite{takeBack, st.ScoreIs(user, before), {}, {}, takeBack};
    if (Store(db, takeBackWrite) == WriteOutcome::Stored)
        qCWarning(lcDb) << "upload: video insert refused; the points were taken back where the"
                        << "score was still the one the upload wrote";
    else
        qCWarning(lcDb) << "upload: video insert refused, and the points could not be taken back"
                        << "now: the score should be" << score;
    return UploadOutcome::VideoNotStored;
}
