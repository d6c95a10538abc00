#pragma once

#include <array>
#include <optional>
#include <string>

class DbSession;

// The operator's row of zumalo_sys as the main window reads it at start-up. GBK texts; a
// NULL column reads as "".
struct ServiceRecord
{
    std::string notice;
    // The service switch: only a stored "0" stops the program; NULL or anything else runs it.
    bool suspended = false;
    std::array<std::string, 5> captions;
    std::array<std::string, 5> links; // links[i] belongs to captions[i]
};

// The service record, or none when the statement fails or the table has no row.
std::optional<ServiceRecord> ReadServiceRecord(DbSession& db);
// The notice alone, for its periodic refresh: none when the statement fails or finds no row.
std::optional<std::string> ReadNotice(DbSession& db);

// The registration dialog's banner movie.
struct RegistrationLink
{
    bool read = false; // false: the statement failed
    std::string link;  // "" without a row, or with a NULL or empty link
};
RegistrationLink ReadRegistrationLink(DbSession& db);
