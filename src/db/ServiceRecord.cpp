#include "db/ServiceRecord.h"

#include "db/DbSession.h"
#include "db/ResultRows.h"
#include "db/Statements.h"

std::optional<ServiceRecord> ReadServiceRecord(DbSession& db)
{
    const std::optional<DbRow> row = FirstRow(db, Statements::ServiceRecord());
    if (!row)
        return std::nullopt;
    // The columns of Statements::ServiceRecord.
    ServiceRecord record;
    record.notice = Field(*row, 0);
    record.suspended = row->size() > 1 && (*row)[1] && *(*row)[1] == "0";
    for (std::size_t i = 0; i < record.captions.size(); ++i) {
        record.captions[i] = Field(*row, 2 + i);
        record.links[i] = Field(*row, 7 + i);
    }
    return record;
}

std::optional<std::string> ReadNotice(DbSession& db)
{
    const std::optional<DbRow> row = FirstRow(db, Statements::NoticeRefresh());
    if (!row)
        return std::nullopt;
    return Field(*row, 0);
}

RegistrationLink ReadRegistrationLink(DbSession& db)
{
    const FirstRowRead got = ReadFirstRow(db, Statements::RegLink());
    return {got.ran, got.row ? Field(*got.row, 0) : std::string()};
}
