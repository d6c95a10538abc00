#include "db/ResultRows.h"

FirstRowRead ReadFirstRow(DbSession& db, std::string_view statement)
{
    FirstRowRead read;
    read.ran = db.Query(statement);
    if (read.ran)
        read.row = db.FetchRow();
    db.FreeResult();
    return read;
}
