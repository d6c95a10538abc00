#pragma once

#include <string>
#include <string_view>

class DbSession;

// The four shared lists of the main window, in the order of their buttons.
enum class ListKind {
    Torrents,
    Videos,
    Board,
    QuickPosts
};

// The table that holds a list. The one place the list tables are named.
std::string_view ListTable(ListKind kind);

// Every statement the program sends, one function each. Values are escaped for the
// connection they will run on, so a title or a name holding ' or \ is stored and found
// again as typed and no typed value can change what a statement does. Lists are named by
// their kind, so no table name is ever taken from outside.
class Statements
{
public:
    explicit Statements(const DbSession& db)
        : m_db(db)
    {
    }

    // Service record and notice.
    static std::string ServiceRecord();
    static std::string NoticeRefresh();
    static std::string RegLink();

    // Lists.
    static std::string CountRows(ListKind list);
    // A page of the torrents, the videos or the quick posts (the board has its own).
    static std::string ListPage(ListKind list, long long offset);
    static std::string BoardPage(long long offset);
    std::string ItemLookup(ListKind list, std::string_view title) const;
    std::string VideoUploader(std::string_view title) const;

    // Accounts.
    std::string Login(std::string_view name, std::string_view password) const;
    std::string UserInfo(std::string_view name) const;
    std::string UserScore(std::string_view name) const;
    std::string SetScore(std::string_view name, std::string_view score) const;
    std::string NameTaken(std::string_view name) const;
    std::string NewAccount(std::string_view name, std::string_view password, std::string_view sex,
                           std::string_view age, std::string_view area, std::string_view qq,
                           std::string_view phone, std::string_view mail) const;
    std::string PasswordCheck(std::string_view name, std::string_view oldPassword) const;
    std::string ChangePassword(std::string_view name, std::string_view newPassword) const;

    // Publishing.
    std::string PostMessage(std::string_view user, std::string_view message,
                            std::string_view time) const;
    std::string UploadVideo(std::string_view user, std::string_view name, std::string_view link,
                            std::string_view time, std::string_view requiredScore) const;
    std::string QuickPost(std::string_view user, std::string_view title, std::string_view link,
                          std::string_view time) const;

    // The upload's write-back of a score: only where the score is still the one the upload
    // wrote, so that points the account gained meanwhile stay.
    std::string SetScoreWhereStill(std::string_view name, std::string_view score,
                                   std::string_view written) const;

    // Whether a write is stored, found by the row's own values: a row when it is.
    std::string PostStored(std::string_view user, std::string_view message,
                           std::string_view time) const;
    std::string VideoStored(std::string_view user, std::string_view name, std::string_view link,
                            std::string_view time, std::string_view requiredScore) const;
    std::string QuickPostStored(std::string_view user, std::string_view title,
                                std::string_view link, std::string_view time) const;
    std::string AccountStored(std::string_view name, std::string_view password) const;
    std::string ScoreIs(std::string_view name, std::string_view score) const;

private:
    std::string q(std::string_view value) const;
    const DbSession& m_db;
};
