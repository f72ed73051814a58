/*
 * Exchanges on an application's behalf, the deferred clean-up they hold
 * back, and the received work they hold back.
 *
 * An exchange dispatches messages while it waits, so the application may
 * call CMCleanup meanwhile: the clean-up is deferred while the application's
 * busy count is raised and completes here, as soon as the count is back at
 * 0.  Callers look their records up again by id after every exchange.
 *
 * Work for the state machine that arrives while an exchange waits runs
 * inside that wait, nested, so that one host that never answers keeps no
 * other application waiting for its invitation and no other session for
 * its call.  A nested exchange delays the return of the one it waits in,
 * though: under a steady stream of invitations to one application, each
 * answer's wait took the next invitation in and answered it in turn, and
 * the nesting never unwound.  So nesting is bounded by what it is for:
 *
 * - A received invitation or update is held while an exchange of its own
 *   application waits, and while earlier work of that application is held
 *   (its work keeps its order).  Each application is then answering at
 *   most once in the nesting, and a stream of invitations to it waits its
 *   turn instead of burying the exchange it arrived in.
 * - An invitation pass is never held: a pass requested for a call whose
 *   pass is running only makes that pass go round again (FSM_Proceed), so
 *   each call's pass is at most once in the nesting.
 *
 * Held work is posted again, in arrival order, only once no exchange waits
 * on the thread.  Posted any earlier, it would be taken from the queue
 * inside the wait of an outer exchange, and an application whose
 * invitations keep coming would run one answer after another in there
 * while that exchange, its own answer long arrived, never got to read it.
 * Should the holding room run out, the work is done at once, nested, as a
 * message wait would have it.
 */
#include "fsm/fsm.h"
#include "members/members.h"
#include "protocol/rpc.h"

namespace {

struct FSM_HELD {
    HWND window;
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
};

/* Far more than the applications of one machine can be offered at once. */
const unsigned FSM_HOLD_ROOM = 256;
FSM_HELD held[FSM_HOLD_ROOM];
unsigned held_first = 0;
unsigned held_count = 0;
/* Exchanges waiting on this thread, the innermost included; in all and
 * per application id (ids are 1..127; other ids name no application). */
const WORD FSM_APP_IDS = 128;
unsigned exchanges_waiting = 0;
unsigned app_exchanges_waiting[FSM_APP_IDS];

/* Received work for application `app` must wait: one of its exchanges
 * waits, or earlier work of it is held. */
bool held_conflicts(WORD app)
{
    if (app < FSM_APP_IDS && app_exchanges_waiting[app] > 0)
        return true;
    for (unsigned i = 0; i < held_count; ++i)
        if (LOWORD(held[(held_first + i) % FSM_HOLD_ROOM].wparam) == app)
            return true;
    return false;
}

/* A message whose work is lost: the received call it carries is freed. */
void held_drop(const FSM_HELD &work)
{
    CALL_Free((CALLCTX *)work.lparam);
}

/* Posts the held work again, oldest first. */
void held_release(void)
{
    while (held_count > 0) {
        FSM_HELD work = held[held_first];
        held_first = (held_first + 1) % FSM_HOLD_ROOM;
        --held_count;
        if (!PostMessageA(work.window, work.msg, work.wparam, work.lparam))
            held_drop(work);
    }
}

} // namespace

extern "C" int FSM_CompleteCleanup(CMAPP *app)
{
    if (!app)
        return CMERR_BADAPP;
    if (app->busy)
        return CMERR_BUSY;
    RING_Stop(app);
    HWND window = app->fsmwnd;
    int result = APP_CompleteCleanup(app);
    if (result == 0)
        CMFSM_End(window);
    return result;
}

extern "C" INT FSM_Send(WORD app_id, CALLCTX *call, INT code, BOOL reply)
{
    bool counted = app_id < FSM_APP_IDS;
    ++exchanges_waiting;
    if (counted)
        ++app_exchanges_waiting[app_id];
    INT result = CALL_Send(APP_Find(app_id), call, code, reply);
    if (counted)
        --app_exchanges_waiting[app_id];
    if (--exchanges_waiting == 0)
        held_release();
    CMAPP *app = APP_Find(app_id);
    if (app && (app->flags & APP_CLOSING) && app->busy == 0)
        FSM_CompleteCleanup(app);
    return result;
}

extern "C" BOOL FSM_Hold(HWND window, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (held_count == FSM_HOLD_ROOM || !held_conflicts(LOWORD(wparam)))
        return FALSE;
    held[(held_first + held_count) % FSM_HOLD_ROOM] = {window, msg, wparam, lparam};
    ++held_count;
    return TRUE;
}

extern "C" void FSM_DropHeld(HWND window)
{
    unsigned kept = 0;
    for (unsigned i = 0; i < held_count; ++i) {
        const FSM_HELD &work = held[(held_first + i) % FSM_HOLD_ROOM];
        if (work.window == window)
            held_drop(work);
        else
            held[(held_first + kept++) % FSM_HOLD_ROOM] = work;
    }
    held_count = kept;
}
