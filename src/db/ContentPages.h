#pragma once

#include "db/Statements.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class DbSession;

// The shared lists read a page at a time: eight rows a page, newest first.
constexpr int kRowsPerPage = 8;

// Pages for a number of rows: a last partial page counts; no rows, no pages.
int PageCountFor(int itemCount);
// Where page (from 1) starts among the rows.
long long PageOffset(int page);

// The number of rows of a list: none when the database is not Connected or the statement
// fails. A count that is no number reads as 0.
std::optional<int> CountItems(DbSession& db, ListKind list);

// A post on the board.
struct BoardPost
{
    std::string user;
    std::string text;
};

// The titles on a page of the torrents, videos or quick posts, and the posts on a page of the
// board: none when the database is not Connected or the statement fails. GBK; NULL reads as "".
std::optional<std::vector<std::string>> ReadTitlePage(DbSession& db, ListKind list, int page);
std::optional<std::vector<BoardPost>> ReadBoardPage(DbSession& db, int page);

// What an entry of a list opens, and the score a user needs to open it.
struct ListItem
{
    enum class Kind {
        Found,
        Failed,     // the statement failed
        Gone,       // no entry has that title (removed since its page was read)
        NotANumber, // the stored score is no integer: error holds the conversion's text
    };
    Kind kind = Kind::Failed;
    std::string link;
    int requiredScore = 0; // NULL: 0, everyone may open it
    std::string error;     // GBK
};
// The first entry with this title, as the server returns it.
ListItem LookUpItem(DbSession& db, ListKind list, std::string_view title);

// Who published a video, and when: none when the statement fails or no video has the title.
struct VideoUploader
{
    std::string user;
    std::string time;
};
std::optional<VideoUploader> ReadVideoUploader(DbSession& db, std::string_view title);
