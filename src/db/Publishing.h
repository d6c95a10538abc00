#pragma once

#include "core/TimeStamp.h"

#include <string>
#include <string_view>

class DbSession;

// The points an upload earns its uploader.
constexpr int kUploadPoints = 2;

// What publishing a video came to.
struct Publication
{
    enum class Kind {
        Done,
        AlreadyStored, // an earlier try of this very upload was stored after all: done
        Unreachable,   // an earlier try is still unsettled and the database cannot be asked
        ScoreUnread,   // the uploader's score could not be read, or the account is gone
        NotANumber,    // the stored score is no integer: error holds the conversion's text
        PointsNotStored,
        VideoNotStored, // and the points were taken back where they could be
    };
    Kind kind = Kind::Done;
    std::string error; // GBK
};

// Publishes a video for user: settles an earlier unsettled write first, reads the user's
// score, then stores score + kUploadPoints and the video, stamped with clock's time when
// the writes begin; a video not stored takes its points back (StoreUpload, CheckedWrite.h).
// requiredScore is stored as given.
Publication PublishVideo(DbSession& db, std::string_view user, std::string_view title,
                         std::string_view link, std::string_view requiredScore,
                         const Clock& clock = {});
