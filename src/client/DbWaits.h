#pragma once

class DbSession;
class Waits;

// Every statement and connection attempt of db becomes a wait of waits, from whichever
// window it runs.
void HookWaits(DbSession& db, const Waits& waits);
