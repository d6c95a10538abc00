#include "client/ContentBrowser.h"

#include "db/ContentPages.h"

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
    const std::optional<int> count = CountItems(m_db, list);
    if (!count)
        return false;
    ItemCount = *count;
    PageCount = PageCountFor(ItemCount);
    return true;
}

bool ContentBrowser::FetchPage(int page, Category::Kind list)
{
    RowTexts.clear();
    if (list == Category::Kind::Board) {
        const auto posts = ReadBoardPage(m_db, page);
        if (!posts)
            return false;
        for (const BoardPost& post : *posts)
            RowTexts.push_back(post.user + ":" + post.text);
        return true;
    }
    const auto titles = ReadTitlePage(m_db, list, page);
    if (!titles)
        return false;
    RowTexts = *titles;
    return true;
}

QString ContentBrowser::Counter() const
{
    return "共" + QString::number(ItemCount) + Current().counterWord;
}
