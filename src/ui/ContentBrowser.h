#pragma once

#include <QString>

#include <string>
#include <vector>

class DbSession;

// One of the four shared lists. The caption is its key.
struct Category
{
    enum class Kind {
        Torrents,
        Videos,
        Board,
        QuickPosts
    };
    Kind kind;
    QString caption; // the button's caption
    std::string table;
    QString browsing;    // status panel 4 while it is on display
    QString counterWord; // "共" N counterWord in status panel 0
};

// The four lists in the order of their buttons.
const std::vector<Category>& Categories();
// The category with that caption; the torrents when none has it.
const Category& CategoryByCaption(const QString& caption);
const Category& CategoryOfKind(Category::Kind kind);

// The paging state of the main window's list and the statements behind it. The window
// draws; this counts and fetches. Pages hold eight rows, newest first.
class ContentBrowser
{
public:
    static constexpr int RowsPerPage = 8;

    explicit ContentBrowser(DbSession& db);

    const Category& Current() const { return CategoryByCaption(CurrentCategory); }

    // Counts the rows of a table and derives the page count. False (and nothing changed)
    // when the database is not connected or the statement fails.
    bool Count(const std::string& table);
    // Empties RowTexts, then fills it with the rows of a page of the current category's
    // kind read from table. False when not connected or the statement fails.
    bool FetchPage(int page, const std::string& table);
    // "共12个种子": the counter of the current category.
    QString Counter() const;

    QString CurrentCategory; // caption of the list on display
    int CurrentPage = 1;
    int ItemCount = 0;
    int PageCount = 0;
    std::vector<std::string> RowTexts; // GBK
    bool MessageInputShown = false;

private:
    DbSession& m_db;
};
