#include "client/DbWaits.h"

#include "core/Waits.h"
#include "db/DbSession.h"

void HookWaits(DbSession& db, const Waits& waits)
{
    db.SetBusyHook({[&waits] { waits.Begin(); }, [&waits] { waits.End(); }});
}
