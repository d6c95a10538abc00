#pragma once

#include <functional>

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

// Told when a wait begins and ends, wherever it comes from (a guard above or a statement of
// the database with the hook installed): the main window keeps its user on every list through
// the wait (net/KeepOnlineDuringWaits). One at a time; empty functions take it away.
void SetWaitCompanion(std::function<void()> begin, std::function<void()> end);
