#include "ui/ContentBrowser.h"

#include "core/Basefunc.h"
#include "db/DbSession.h"
#include "db/Statements.h"

const std::vector<Category>& Categories()
{
    static const std::vector<Category> all = {
        {Category::Kind::Torrents, "种子", "你正在浏览种子", "个种子"},
        {Category::Kind::Videos, "视频", "你正在浏览视频", "个视频"},
        {Category::Kind::Board, "留言板", "你正在浏览留言板", "条留言"},
        {Category::Kind::QuickPosts, "快贴", "你正在浏览快贴", "条快贴"},
    };
    return all;
}

const Category& CategoryOfKind(Category::Kind kind)
{
    for (const auto& c : Categories())
        if (c.kind == kind)
            return c;
    return Categories().front();
}

ContentBrowser::ContentBrowser(DbSession& db)
    : m_db(db)
{
}

bool ContentBrowser::Count(Category::Kind list)
{
    if (!m_db.Connected || !m_db.Query(Statements::CountRows(list)))
        return false;
    const auto row = m_db.FetchRow();
    long long count = 0;
    try {
        count = row ? StrToInt(Field(*row, 0)) : 0;
    } catch (const ConvertError&) {
        count = 0;
    }
    m_db.FreeResult();
    ItemCount = static_cast<int>(count);
    PageCount = ItemCount / RowsPerPage + (ItemCount % RowsPerPage > 0 ? 1 : 0);
    return true;
}

bool ContentBrowser::FetchPage(int page, Category::Kind list)
{
    RowTexts.clear();
    const long long offset = (static_cast<long long>(page) - 1) * RowsPerPage;
    const bool board = list == Category::Kind::Board;
    const std::string statement =
        board ? Statements::BoardPage(offset) : Statements::ListPage(list, offset);
    if (!m_db.Connected || !m_db.Query(statement))
        return false;
    while (const auto row = m_db.FetchRow()) {
        if (board) {
            RowTexts.push_back(Field(*row, 0) + ":" + Field(*row, 1));
        } else {
            for (std::size_t i = 0; i < row->size(); ++i)
                RowTexts.push_back(Field(*row, i));
        }
    }
    m_db.FreeResult();
    return true;
}

QString ContentBrowser::Counter() const
{
    return "共" + QString::number(ItemCount) + Current().counterWord;
}
