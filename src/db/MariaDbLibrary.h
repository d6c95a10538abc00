#pragma once

#include <mysql.h>

#include <string>

// The database's client library, loaded when the first connection is made rather than when
// the program starts: the login dialog shows before anything is asked of the database, and
// a program that never logs in never maps it. The header gives the types; the functions
// come from here.
struct MariaDbApi
{
    decltype(&::mysql_init) init;
    decltype(&::mysql_options) options;
    decltype(&::mysql_real_connect) real_connect;
    decltype(&::mysql_close) close;
    decltype(&::mysql_error) error;
    decltype(&::mysql_errno) errnum;
    decltype(&::mysql_thread_id) thread_id;
    decltype(&::mysql_get_socket) get_socket;
    decltype(&::mysql_real_query) real_query;
    decltype(&::mysql_store_result) store_result;
    decltype(&::mysql_field_count) field_count;
    decltype(&::mysql_free_result) free_result;
    decltype(&::mysql_fetch_row) fetch_row;
    decltype(&::mysql_fetch_lengths) fetch_lengths;
    decltype(&::mysql_num_fields) num_fields;
    decltype(&::mysql_num_rows) num_rows;
    decltype(&::mysql_real_escape_string) real_escape_string;
};

// The library's functions, loading it at the first call (once, whichever thread asks first).
// Null when it cannot be loaded or lacks one of them; why is then in error, and the next
// call answers the same.
const MariaDbApi* LoadMariaDb(std::string* error = nullptr);
