#include "DbAccounts.h"

#include <fstream>
#include <stdexcept>

DbAccount TestAdminAccount()
{
    const std::string file = std::string(ZUMALO_TEST_BUILD_DIR) + "/stack/accounts.env";
    std::ifstream in(file);
    const std::string key = "ZUMALO_TEST_PASSWORD=";
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size(), key) == 0)
            return {"zumalo_test", line.substr(key.size())};
    throw std::runtime_error("no password of the tests' account in " + file
                             + " (scripts/dev-stack start makes it)");
}
