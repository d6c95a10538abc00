#pragma once

#include "db/ContentPages.h"
#include "db/Statements.h"

#include <QString>

#include <string>
#include <vector>

class DbSession;

// One of the four shared lists. Its kind is its key; the table behind it comes from
// ListTable (db/Statements.h).
struct Category
{
    using Kind = ListKind;
    Kind kind;
    QString caption;     // the button's caption
    QString browsing;    // status panel 4 while it is on display
    QString counterWord; // "共" N counterWord in status panel 0
};

// The four lists in the order of their buttons.
const std::vector<Category>& Categories();
const Category& CategoryOfKind(Category::Kind kind);

// The paging state of the main window's list. The window draws; the store
// (db/ContentPages.h) counts and reads the pages.
class ContentBrowser
{
public:
    explicit ContentBrowser(DbSession& db);

    const Category& Current() const { return CategoryOfKind(CurrentCategory); }

    // Counts the rows of a list and derives the page count. False (and nothing changed)
    // when the database is not connected or the statement fails.
    bool Count(Category::Kind list);
    // Empties RowTexts, then fills it with the rows of a page of the list (board rows read
    // "name:text"). False when not connected or the statement fails.
    bool FetchPage(int page, Category::Kind list);
    // "共12个种子": the counter of the current category.
    QString Counter() const;

    Category::Kind CurrentCategory = Category::Kind::Torrents; // the list on display
    int CurrentPage = 1;
    int ItemCount = 0;
    int PageCount = 0;
    std::vector<std::string> RowTexts; // GBK
    bool MessageInputShown = false;

private:
    DbSession& m_db;
};
