/*
 * Exchanges on an application's behalf, the deferred clean-up they hold
 * back, and the work they hold back.
 *
 * An exchange dispatches messages while it waits, so the application may
 * call CMCleanup meanwhile: the clean-up is deferred while the application's
 * busy count is raised and completes here, as soon as the count is back at
 * 0.  Callers look their records up again by id after every exchange.
 *
 * New work for the state machine -- an invitation or update received, an
 * invitation pass to run -- is not started inside an exchange's wait: it
 * would send and wait in turn, and the outer exchange, though answered,
 * could not return before every exchange started inside it had.  Under a
 * steady stream of invitations the nesting never unwound, and every
 * application stayed busy answering.  Such work is held in arrival order
 * while an exchange waits and posted again, in that order, once the last
 * exchange has returned; the window then takes it from its queue as usual.
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
/* Exchanges waiting on this thread, the innermost included. */
unsigned exchanges_waiting = 0;

/* A message whose work is lost: the received call it carries is freed. */
void held_drop(const FSM_HELD &work)
{
    if (work.msg == FSM_INVITED || work.msg == FSM_UPDATED)
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
    ++exchanges_waiting;
    INT result = CALL_Send(APP_Find(app_id), call, code, reply);
    if (--exchanges_waiting == 0)
        held_release();
    CMAPP *app = APP_Find(app_id);
    if (app && (app->flags & APP_CLOSING) && app->busy == 0)
        FSM_CompleteCleanup(app);
    return result;
}

extern "C" BOOL FSM_Hold(HWND window, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (exchanges_waiting == 0 || held_count == FSM_HOLD_ROOM)
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
