#pragma once

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
