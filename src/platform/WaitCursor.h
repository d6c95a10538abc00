#pragma once

class Waits;

// The wait cursor over the whole program during every wait of waits: the window cannot
// answer meanwhile, and the cursor says so. It is restored when the wait ends, however the
// call ends.
void ShowWaitCursorDuring(Waits& waits);
