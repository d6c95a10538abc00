#include "db/ContentPages.h"

#include "core/StrToInt.h"
#include "db/ResultRows.h"

int PageCountFor(int itemCount)
{
    return itemCount / kRowsPerPage + (itemCount % kRowsPerPage > 0 ? 1 : 0);
}

long long PageOffset(int page)
{
    return (static_cast<long long>(page) - 1) * kRowsPerPage;
}

std::optional<int> CountItems(DbSession& db, ListKind list)
{
    if (!db.Connected)
        return std::nullopt;
    const FirstRowRead got = ReadFirstRow(db, Statements::CountRows(list));
    if (!got.ran)
        return std::nullopt;
    try {
        return got.row ? StrToInt(Field(*got.row, 0)) : 0;
    } catch (const ConvertError&) {
        return 0;
    }
}

namespace {

// Runs a page's select and reads every row; none when not Connected or it fails.
std::optional<std::vector<DbRow>> PageRows(DbSession& db, const std::string& statement)
{
    if (!db.Connected || !db.Query(statement))
        return std::nullopt;
    std::vector<DbRow> rows;
    while (std::optional<DbRow> row = db.FetchRow())
        rows.push_back(std::move(*row));
    db.FreeResult();
    return rows;
}

} // namespace

std::optional<std::vector<std::string>> ReadTitlePage(DbSession& db, ListKind list, int page)
{
    const auto rows = PageRows(db, Statements::ListPage(list, PageOffset(page)));
    if (!rows)
        return std::nullopt;
    std::vector<std::string> titles;
    for (const DbRow& row : *rows)
        titles.push_back(Field(row, 0));
    return titles;
}

std::optional<std::vector<BoardPost>> ReadBoardPage(DbSession& db, int page)
{
    const auto rows = PageRows(db, Statements::BoardPage(PageOffset(page)));
    if (!rows)
        return std::nullopt;
    std::vector<BoardPost> posts;
    for (const DbRow& row : *rows)
        posts.push_back({Field(row, 0), Field(row, 1)});
    return posts;
}

ListItem LookUpItem(DbSession& db, ListKind list, std::string_view title)
{
    const FirstRowRead got = ReadFirstRow(db, Statements(db).ItemLookup(list, title));
    ListItem item;
    if (!got.ran)
        return item;
    if (!got.row) {
        item.kind = ListItem::Kind::Gone;
        return item;
    }
    // The columns of Statements::ItemLookup.
    item.link = Field(*got.row, 0);
    // An entry without a required score (NULL) may be opened by everyone.
    const std::optional<std::string> required = got.row->size() > 1 ? (*got.row)[1] : std::nullopt;
    try {
        item.requiredScore = required ? StrToInt(*required) : 0;
        item.kind = ListItem::Kind::Found;
    } catch (const ConvertError& error) {
        item.kind = ListItem::Kind::NotANumber;
        item.error = error.what();
    }
    return item;
}

std::optional<VideoUploader> ReadVideoUploader(DbSession& db, std::string_view title)
{
    const std::optional<DbRow> row = FirstRow(db, Statements(db).VideoUploader(title));
    if (!row)
        return std::nullopt;
    return VideoUploader{Field(*row, 0), Field(*row, 1)};
}
