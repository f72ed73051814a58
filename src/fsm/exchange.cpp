/*
 * Exchanges on an application's behalf, and the deferred clean-up they hold
 * back.
 *
 * An exchange dispatches messages while it waits, so the application may
 * call CMCleanup meanwhile: the clean-up is deferred while the application's
 * busy count is raised and completes here, as soon as the count is back at
 * 0.  Callers look their records up again by id after every exchange.
 */
#include "fsm/fsm.h"
#include "protocol/rpc.h"

extern "C" int FSM_CompleteCleanup(CMAPP *app)
{
    if (!app)
        return CMERR_BADAPP;
    if (app->busy)
        return CMERR_BUSY;
    RING_Stop(app);
    return APP_CompleteCleanup(app);
}

extern "C" INT FSM_Send(WORD app_id, CALLCTX *call, INT code, BOOL reply)
{
    INT result = CALL_Send(APP_Find(app_id), call, code, reply);
    CMAPP *app = APP_Find(app_id);
    if (app && (app->flags & APP_CLOSING) && app->busy == 0)
        FSM_CompleteCleanup(app);
    return result;
}
