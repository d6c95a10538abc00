// The cost of one page switch of the main window's list (count plus page) on the torrent
// table at 1,000, 100,000 and 1,000,000 rows in the local MariaDB, against counting by
// downloading the whole table. Needs scripts/dev-stack running.
#include "client/ContentBrowser.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "db/Statements.h"

#include <mysql.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

const char* const kDatabase = "zt_bench_browser";

bool Admin(MYSQL* c, const std::string& sql)
{
    if (mysql_real_query(c, sql.data(), sql.size()) != 0) {
        std::fprintf(stderr, "bench: %s\n%s\n", mysql_error(c), sql.substr(0, 200).c_str());
        return false;
    }
    do {
        if (MYSQL_RES* r = mysql_store_result(c))
            mysql_free_result(r);
    } while (mysql_more_results(c) && mysql_next_result(c) == 0);
    return true;
}

// Median of repeated runs, in milliseconds.
double MedianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main()
{
    MYSQL* admin = mysql_init(nullptr);
    mysql_options(admin, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    // The tests' account of the build's stack, with the stack's own password.
    std::ifstream accounts(std::string(ZUMALO_BENCH_BUILD_DIR) + "/stack/accounts.env");
    std::string password;
    for (std::string line; std::getline(accounts, line);)
        if (line.rfind("ZUMALO_TEST_PASSWORD=", 0) == 0)
            password = line.substr(line.find('=') + 1);
    if (!mysql_real_connect(admin, "127.0.0.1", "zumalo_test", password.c_str(), nullptr,
                            Settings::Defaults().dbPort, nullptr, CLIENT_MULTI_STATEMENTS)) {
        std::fprintf(stderr,
                     "bench: the local MariaDB is not reachable (scripts/dev-stack start): %s\n",
                     mysql_error(admin));
        return 1;
    }
    std::ifstream schemaFile(std::string(ZUMALO_BENCH_SOURCE_DIR) + "/db/schema.sql");
    std::stringstream schema;
    schema << schemaFile.rdbuf();
    if (!Admin(admin,
               std::string("DROP DATABASE IF EXISTS ") + kDatabase + "; CREATE DATABASE "
                   + kDatabase + "; USE " + kDatabase + ";")
        || !Admin(admin, schema.str()))
        return 1;

    Settings settings = Settings::Defaults();
    settings.dbName = kDatabase;
    DbSession db(settings);
    if (!db.Open("127.0.0.1", "connect_server", "40725913")) {
        std::fprintf(stderr, "bench: cannot connect as the program's account\n");
        return 1;
    }
    db.Connected = true;
    ContentBrowser browser(db);

    std::printf("%10s %14s %14s %16s %14s\n", "rows", "page 1 (ms)", "last page (ms)",
                "whole count (ms)", "count RSS (MB)");
    double firstAt1k = 0, firstAt1M = 0, wholeAt1M = 0, lastAt1M = 0;
    long long filled = 0;
    for (const long long rows : {1000LL, 100000LL, 1000000LL}) {
        // Grow the table to the next size with the server's sequence engine.
        if (!Admin(admin,
                   "INSERT INTO zumalo_zhongzi(text, link, allowScore, username) SELECT "
                   "concat('种子 ', seq), "
                   "concat('t', seq, '.torrent'), 0, 'bench' FROM seq_"
                       + std::to_string(filled + 1) + "_to_" + std::to_string(rows)))
            return 1;
        filled = rows;
        const auto pageSwitch = [&](int page) {
            browser.Count(ListKind::Torrents);
            browser.FetchPage(page, ListKind::Torrents);
        };
        const int lastPage = static_cast<int>((rows + 7) / 8);
        pageSwitch(1); // warm the caches once
        const double first = MedianMs(21, [&] { pageSwitch(1); });
        const double last = MedianMs(rows >= 1000000 ? 5 : 11, [&] { pageSwitch(lastPage); });
        const long rssBefore = PeakRssMb();
        const double whole = MedianMs(3, [&] {
            db.Query("select * from " + std::string(ListTable(ListKind::Torrents)));
            volatile auto n = db.RowCount();
            (void)n;
            db.FreeResult();
        });
        const long rssGrowth = PeakRssMb() - rssBefore;
        std::printf("%10lld %14.2f %14.2f %16.2f %14ld\n", rows, first, last, whole, rssGrowth);
        if (rows == 1000)
            firstAt1k = first;
        if (rows == 1000000) {
            firstAt1M = first;
            wholeAt1M = whole;
            lastAt1M = last;
        }
    }
    Admin(admin, std::string("DROP DATABASE ") + kDatabase);
    mysql_close(admin);
    std::printf(
        "page 1 at 1M rows is %.1fx its time at 1,000 rows; the last page (offset 999992) takes "
        "%.1f ms because the server walks the id index past every row before it\n",
        firstAt1k > 0 ? firstAt1M / firstAt1k : 0.0, lastAt1M);
    std::printf("page switch at 1M rows: %.2f ms (whole-table count: %.2f ms)\n", firstAt1M,
                wholeAt1M);
    return 0;
}
