#include "db/Publishing.h"

#include "db/Accounts.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"

Publication PublishVideo(DbSession& db, std::string_view user, std::string_view title,
                         std::string_view link, std::string_view requiredScore, const Clock& clock)
{
    using Kind = Publication::Kind;
    const ActionDeadline deadline = DeadlineOf(db);
    switch (SettleEarlier(db, UploadEntry(user, title, link, requiredScore), deadline)) {
    case EarlierWrite::SameEntryStored: return {Kind::AlreadyStored, {}};
    case EarlierWrite::Unreachable: return {Kind::Unreachable, {}};
    case EarlierWrite::None: break;
    }
    // An account without a row cannot earn points: told like a failed read.
    const ScoreRead score = ReadScore(db, user);
    switch (score.kind) {
    case ScoreRead::Kind::Failed:
    case ScoreRead::Kind::NoAccount: return {Kind::ScoreUnread, {}};
    case ScoreRead::Kind::NotANumber: return {Kind::NotANumber, score.error};
    case ScoreRead::Kind::Read: break;
    }
    switch (StoreUpload(db, user, score.score, kUploadPoints, title, link, NowStamp(clock),
                        requiredScore, deadline)) {
    case UploadOutcome::Done: return {Kind::Done, {}};
    case UploadOutcome::PointsNotStored: return {Kind::PointsNotStored, {}};
    case UploadOutcome::VideoNotStored: return {Kind::VideoNotStored, {}};
    }
    return {Kind::VideoNotStored, {}};
}
