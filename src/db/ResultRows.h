#pragma once

#include "db/DbSession.h"

#include <optional>
#include <string_view>

// How the store reads a result: only the store's own files include this, so that the
// column positions of each statement are read in one place.

struct FirstRowRead
{
    bool ran = false;         // false: the statement failed
    std::optional<DbRow> row; // none: it gave no row
};

// Runs a select and reads its first row; the result is freed before this returns.
FirstRowRead ReadFirstRow(DbSession& db, std::string_view statement);

// The first row of a select, or none when it failed or gave no row.
inline std::optional<DbRow> FirstRow(DbSession& db, std::string_view statement)
{
    return ReadFirstRow(db, statement).row;
}
