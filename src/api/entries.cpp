/*
 * The application entries: registering and unregistering an application,
 * and its settings.
 */
#include "api/api.h"
#include "api/settings.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"

#include <callmgr.h>
#include <stdio.h>

namespace {

/* A text field of the settings block into a store of the same size; the
 * block's field need not be terminated. */
template <size_t N> void settings_copy(char (&store)[N], const char (&field)[256])
{
    static_assert(N >= 256, "a store holds the block's 255 characters");
    snprintf(store, N, "%.*s", 255, field);
}

} // namespace

extern "C" WORD WINAPI CMStartup(HWND notifywnd, UINT notifymsg, LPSTR hostname)
{
    if (hostname)
        hostname[0] = 0;
    CMAPP *app = APP_Create(notifywnd, notifymsg);
    if (!app)
        return CMERR_APPALLOC;
    /* Every failure releases exactly the references this call took. */
    if (!SERVER_Startup()) {
        APP_Unregister(app);
        return CMERR_SERVER;
    }
    if (!CLIENT_Startup()) {
        SERVER_Cleanup();
        APP_Unregister(app);
        return CMERR_CLIENT;
    }
    app->fsmwnd = LIB_Initialised ? CMFSM_Create(LIB_Instance, notifywnd) : nullptr;
    if (!app->fsmwnd) {
        SERVER_Cleanup();
        CLIENT_Cleanup();
        APP_Unregister(app);
        return CMERR_WINDOW;
    }
    /* The caller provides 256 characters. */
    if (hostname)
        snprintf(hostname, 256, "%s", FSM_ShortHostName());
    return app->id;
}

extern "C" UINT WINAPI CMCleanup(UINT app_id)
{
    CMAPP *app = APP_Find(app_id);
    if (!app)
        return CMERR_BADAPP;
    app->flags |= APP_CLOSING;
    if (app->busy)
        return CMERR_BUSY;
    RING_Stop(app);
    HWND window = app->fsmwnd;
    APP_Destroy(app);
    /* The window ends with its application: owned by no notification
     * window, it would not end at all. */
    CMFSM_End(window);
    return 0;
}

extern "C" BOOL WINAPI CMSetInfo(const CMINFO *info)
{
    if (!info)
        return FALSE;
    settings_copy(LIB_Settings.addressbook, info->addressbook);
    LIB_Settings.callring = info->callring;
    settings_copy(LIB_Settings.callsound, info->callsound);
    LIB_Settings.rsvpring = info->rsvpring;
    settings_copy(LIB_Settings.rsvpsound, info->rsvpsound);
    LIB_Settings.autoaccept = info->autoaccept;
    return TRUE;
}

extern "C" int WINAPI CMSetLogInfo(int32_t, int32_t, int32_t)
{
    return 1;
}

extern "C" UINT WINAPI CMGetNetInfo(UINT app_id, CMNETINFO *netinfo)
{
    CMAPP *app = APP_Find(app_id);
    if (!app)
        return CMERR_BADAPP;
    if (!netinfo)
        return CMERR_INVALID;
    *netinfo = app->netinfo;
    return 0;
}

extern "C" UINT WINAPI CMSetNetInfo(UINT app_id, const CMNETINFO *netinfo)
{
    CMAPP *app = APP_Find(app_id);
    if (!app)
        return CMERR_BADAPP;
    if (!netinfo)
        return CMERR_INVALID;
    /* Only the newest session's sockets follow a changed option; older
     * sessions keep what they had. */
    if (netinfo->stackoption != app->netinfo.stackoption && app->sessions) {
        NET_SetStackOption(app->sessions->udpsocket1, netinfo->stackoption);
        NET_SetStackOption(app->sessions->udpsocket2, netinfo->stackoption);
    }
    app->netinfo = *netinfo;
    return 0;
}
