/* A desktop with Wayland alone (no DISPLAY): weston, a window on an Xvfb of
 * the test's own, gets keys from xdotool on that X server.  The modal loop
 * sleeps as the message wait does, on the display's descriptors alone. */
#include "desktop/servers.h"
#include "display/display_state.h"
#include "support/instance.h"

#include <windows.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

/* The GL drivers keep allocations the leak checker cannot name, as they are
 * unloaded by then; desktop_test checks the same display code over X. */
extern "C" const char *__lsan_default_options()
{
    return "detect_leaks=0";
}

namespace {

constexpr int kNewAddressDialog = 400;
constexpr int kAddressField = 102; /* the first field, which has the focus */

struct Watch {
    std::mutex mu;
    std::condition_variable changed;
    bool focused = false;  /* the dialog's surface holds the keyboard */
    int typed = 0;         /* characters in the address field */
    int slept_through = 0; /* waits that ended by their bound once focused */
    std::chrono::steady_clock::time_point give_up;
};
Watch *watch = nullptr;

/* The modal loop's idle turn, as the message wait takes it.  The bound only
 * catches a wait that nothing wakes. */
BOOL CALLBACK drive_display(void *)
{
    pal::display_present_dirty();
    HWND dlg = GetActiveWindow();
    pal::DisplayWindow *dw = dlg ? pal::display_window_of(dlg) : nullptr;
    if (dw && dw->win) {
        std::lock_guard<std::mutex> lock(watch->mu);
        watch->focused = watch->focused || SDL_GetKeyboardFocus() == dw->win;
        watch->typed = GetWindowTextLengthA(GetDlgItem(dlg, kAddressField));
        watch->changed.notify_all();
    }
    if (dlg && std::chrono::steady_clock::now() > watch->give_up)
        EndDialog(dlg, -99);
    std::vector<pollfd> fds;
    size_t first = pal::display_add_fds(fds);
    if (poll(fds.data(), fds.size(), 5000) == 0 && watch->focused)
        ++watch->slept_through;
    pal::display_dispatch(fds, first);
    return TRUE;
}

INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM)
{
    if (msg == WM_COMMAND && LOWORD(wparam) == IDCANCEL)
        EndDialog(dlg, IDCANCEL);
    return msg == WM_INITDIALOG || msg == WM_COMMAND;
}

/* Waits, within the test's bound, until `done` holds for the watch. */
bool until(const std::function<bool()> &done)
{
    std::unique_lock<std::mutex> lock(watch->mu);
    return watch->changed.wait_until(lock, watch->give_up, done);
}

/* xdotool `what` with the pointer in weston's window, which then has the X
 * keyboard. */
void xdotool(const std::string &what)
{
    std::string cmd = "DISPLAY=" + desktop_x().name + " xdotool mousemove 400 300 " + what;
    if (std::system(cmd.c_str()) != 0)
        ADD_FAILURE() << "xdotool failed: " << what;
}

/* Keys from the compositor must wake the wait; a held key too, which under
 * Wayland the client repeats itself while nothing arrives. */
TEST(WaylandDesktop, KeysFromTheCompositorAndAHeldKeyWakeTheWait)
{
    const DesktopServer &compositor = desktop_wayland();
    if (compositor.pid < 0)
        GTEST_SKIP() << "no Wayland compositor for the test: " << compositor.problem;
    unsetenv("DISPLAY");
    setenv("WAYLAND_DISPLAY", compositor.name.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", compositor.dir.c_str(), 1);
    setenv("CALLMGR_DISPLAY", "live", 1);
    pal::display_reopen();
    Watch w;
    w.give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    watch = &w;
    PalSetIdleHook(drive_display, nullptr);
    /* The person acts once the dialog holds the keyboard. */
    bool repeated = false;
    std::thread person([&] {
        if (!until([] { return watch->focused; }))
            return;
        xdotool("keydown a");
        repeated = until([] { return watch->typed >= 3; });
        xdotool("keyup a key Escape");
    });
    INT_PTR result = DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(kNewAddressDialog),
                                     nullptr, dialog_proc, 0);
    person.join();
    PalSetIdleHook(nullptr, nullptr);
    pal::display_shutdown();
    unsetenv("CALLMGR_DISPLAY");
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(w.focused) << "the dialog's surface never held the keyboard";
    EXPECT_TRUE(repeated) << "typed " << w.typed;
    EXPECT_EQ(0, w.slept_through) << "input arrived or a key was held while the wait slept";
}

} // namespace
