/*
 * Notifications to the application: wParam carries the code in its high
 * byte and the session id in its low byte.
 */
#include "fsm/fsm.h"

extern "C" BOOL CM_Notify(CMAPP *app, WORD session, BYTE code, LPARAM lparam)
{
    if (!app || !app->notifywnd || !app->notifymsg || !IsWindow(app->notifywnd))
        return FALSE;
    WPARAM wparam = ((WPARAM)code << 8) | (session & 0xFF);
    return PostMessageA(app->notifywnd, app->notifymsg, wparam, lparam);
}

extern "C" BOOL CM_NotifyBlock(CMAPP *app, WORD session, BYTE code, HGLOBAL block)
{
    if (CM_Notify(app, session, code, (LPARAM)block))
        return TRUE;
    /* Nobody would ever own it. */
    GlobalFree(block);
    return FALSE;
}

extern "C" BOOL CM_NotifyCallStarted(CMAPP *app, CMSESSION *session, HGLOBAL block)
{
    if (CM_NotifyBlock(app, session->id, CMN_CALLSTARTED, block))
        return TRUE;
    CALLINFO_CloseSockets(session);
    return FALSE;
}
