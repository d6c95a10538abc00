#pragma once

class DbSession;

// The wait cursor over the whole program while a blocking call runs on the GUI thread: the
// window cannot answer meanwhile, and the cursor says so. It is restored when the guard
// goes, however the call ends; guards may nest.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Shows the wait cursor during every statement and connection of db, from whichever window
// it runs.
void InstallWaitCursor(DbSession& db);
