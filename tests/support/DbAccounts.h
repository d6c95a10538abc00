#pragma once

#include "core/Settings.h"
#include "db/DbSession.h"

#include <string>

// The accounts the tests connect with, as scripts/dev-stack and PrivateMariaDb create them.
struct DbAccount
{
    std::string user;
    std::string password;
};

// The program's own account: the one its settings name.
inline DbAccount ProgramAccount()
{
    const Settings defaults = Settings::Defaults();
    return {defaults.dbUser, defaults.dbPassword};
}

// The tests' account on the local stack (scripts/dev-stack): it makes and drops the scratch
// databases. Its password is the stack's own, made at random when the stack was first loaded
// and kept in build/stack/accounts.env (readable by its owner only).
DbAccount TestAdminAccount();

// Opens the session on 127.0.0.1 with the program's account, as the program does.
inline bool OpenAsProgram(DbSession& db)
{
    const DbAccount account = ProgramAccount();
    return db.Open("127.0.0.1", account.user, account.password);
}
