#include "db/Accounts.h"

#include "core/StrToInt.h"
#include "db/CheckedWrite.h"
#include "db/ResultRows.h"
#include "db/Statements.h"

std::optional<Profile> ReadProfile(DbSession& db, std::string_view name)
{
    const std::optional<DbRow> row = FirstRow(db, Statements(db).UserInfo(name));
    if (!row)
        return std::nullopt;
    // The columns of Statements::UserInfo.
    return Profile{Field(*row, 0), Field(*row, 1), Field(*row, 2), Field(*row, 3),
                   Field(*row, 4), Field(*row, 5), Field(*row, 6)};
}

ScoreRead ReadScore(DbSession& db, std::string_view name)
{
    const FirstRowRead got = ReadFirstRow(db, Statements(db).UserScore(name));
    ScoreRead read;
    if (!got.ran)
        return read;
    if (!got.row) {
        read.kind = ScoreRead::Kind::NoAccount;
        return read;
    }
    try {
        read.score = StrToInt(Field(*got.row, 0));
        read.kind = ScoreRead::Kind::Read;
    } catch (const ConvertError& error) {
        read.kind = ScoreRead::Kind::NotANumber;
        read.error = error.what();
    }
    return read;
}

namespace {

// Runs a select and tells whether it gave rows; none when it failed.
std::optional<bool> GivesRows(DbSession& db, std::string_view statement)
{
    std::optional<bool> rows;
    if (db.Query(statement))
        rows = db.RowCount() > 0;
    db.FreeResult();
    return rows;
}

} // namespace

NameCheck CheckNameFree(DbSession& db, std::string_view name)
{
    const std::optional<bool> taken = GivesRows(db, Statements(db).NameTaken(name));
    if (!taken)
        return NameCheck::Failed;
    return *taken ? NameCheck::Taken : NameCheck::Free;
}

bool PasswordMatches(DbSession& db, std::string_view name, std::string_view password)
{
    return GivesRows(db, Statements(db).PasswordCheck(name, password)).value_or(false);
}

LoginCheck CheckLogin(DbSession& db, std::string_view name, std::string_view password)
{
    const std::optional<bool> match = GivesRows(db, Statements(db).Login(name, password));
    if (!match)
        return LoginCheck::Failed;
    return *match ? LoginCheck::Match : LoginCheck::NoMatch;
}

bool StorePassword(DbSession& db, std::string_view name, std::string_view newPassword)
{
    return StoreOnce(db, PasswordWrite(db, name, newPassword));
}
