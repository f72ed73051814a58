/*
 * Registered applications: one list for the process, newest first.
 */
#include "registry/registry.h"
#include "protocol/rpc.h"

namespace {

CMAPP *apps = nullptr;
WORD app_counter = 0;

} // namespace

extern "C" WORD NEXT_AppId(void)
{
    if (app_counter + 1 >= 128)
        app_counter = 0;
    return ++app_counter;
}

extern "C" CMAPP *APP_First(void)
{
    return apps;
}

extern "C" CMAPP *APP_Create(HWND notifywnd, UINT notifymsg)
{
    CMAPP *app = (CMAPP *)REC_Alloc(REC_APP, 0);
    if (!app)
        return nullptr;
    app->next = apps;
    app->id = NEXT_AppId();
    app->notifywnd = notifywnd;
    app->notifymsg = notifymsg;
    apps = app;
    return app;
}

extern "C" CMAPP *APP_Find(UINT_PTR id)
{
    WORD want = LOWORD(id);
    for (CMAPP *app = apps; app; app = app->next)
        if (app->id == want)
            return app;
    return nullptr;
}

namespace {

/* Takes `app` out of the list; false when it is not in it. */
bool app_unlink(CMAPP *app)
{
    CMAPP **link = &apps;
    while (*link && *link != app)
        link = &(*link)->next;
    if (!app || !*link)
        return false;
    *link = app->next;
    return true;
}

void app_free(CMAPP *app)
{
    CMSESSION *s = app->sessions;
    while (s) {
        CMSESSION *next = s->next;
        SESSION_DiscardCall(s->call);
        REC_Free(s);
        s = next;
    }
    REC_Free(app);
}

} // namespace

extern "C" int APP_Destroy(CMAPP *app)
{
    if (!app_unlink(app))
        return CMERR_INVALID;
    /* The protocol references taken when the application registered. */
    SERVER_Cleanup();
    CLIENT_Cleanup();
    app_free(app);
    return 1;
}

extern "C" int APP_Unregister(CMAPP *app)
{
    if (!app_unlink(app))
        return CMERR_INVALID;
    app_free(app);
    return 1;
}

extern "C" CMAPP *APP_FindIdle(void)
{
    for (CMAPP *app = apps; app; app = app->next)
        if (!(app->flags & APP_CLOSING) && (!app->sessions || !app->sessions->call))
            return app;
    return nullptr;
}

extern "C" int APP_CompleteCleanup(CMAPP *app)
{
    if (!app)
        return CMERR_BADAPP;
    if (app->busy)
        return CMERR_BUSY;
    HWND wnd = app->notifywnd;
    UINT msg = app->notifymsg;
    APP_Destroy(app);
    if (wnd && msg && IsWindow(wnd))
        PostMessageA(wnd, msg, (WPARAM)(CMN_CLEANEDUP << 8), 0);
    return 0;
}
