/*
 * glib_call - the call manager in a GLib main loop: the message descriptor
 * as a unix-fd source, the next timer as a time-out source, and the loop's
 * own signal sources beside them.
 *
 *     cc glib_call.c callapp.c $(pkg-config --cflags --libs callmgr glib-2.0) -o glib_call
 *     ./glib_call answer          # or: ./glib_call invite bob@hostb
 */
#include "callapp.h"

#include <callmgr.h>
#include <palevent.h>

#include <glib-unix.h>
#include <glib.h>

static GMainLoop *loop;
static guint timer_source;
static int status;

static gboolean on_timer(gpointer data);

/* Empties the message queue, then waits for the next timer anew: the
 * messages just handled may have set or killed timers. */
static void run_messages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (timer_source)
        g_source_remove(timer_source);
    DWORD timeout = PalGetMessageTimeout();
    timer_source = timeout == INFINITE ? 0 : g_timeout_add(timeout, on_timer, NULL);
    if (CallAppFinished(&status))
        g_main_loop_quit(loop);
}

static gboolean on_messages(gint fd, GIOCondition condition, gpointer data)
{
    (void)fd;
    (void)condition;
    (void)data;
    run_messages();
    return G_SOURCE_CONTINUE;
}

static gboolean on_timer(gpointer data)
{
    (void)data;
    timer_source = 0; /* this source ends as it returns */
    run_messages();
    return G_SOURCE_REMOVE;
}

static gboolean on_signal(gpointer data)
{
    (void)data;
    CallAppQuit();
    run_messages();
    return G_SOURCE_CONTINUE;
}

int main(int argc, char **argv)
{
    status = CallAppStart(argc, argv);
    if (status != 0)
        return status;
    loop = g_main_loop_new(NULL, FALSE);
    g_unix_fd_add(PalGetMessageFd(), G_IO_IN, on_messages, NULL);
    g_unix_signal_add(SIGINT, on_signal, NULL);
    g_unix_signal_add(SIGTERM, on_signal, NULL);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return status;
}
