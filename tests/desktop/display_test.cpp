/* Dialogs on an X server of the test's own (Xvfb): xdotool acts as the
 * person, ImageMagick takes screenshots.  The modal loop's idle hook drives
 * the display as the message wait does; a helper thread runs the tools. */
#include "desktop/servers.h"
#include "display/display.h"
#include "display/display_state.h"
#include "support/instance.h"
#include "user/paint.h"
#include "user/window.h"

#include <windows.h>
#include <palevent.h>
#include <palpaint.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <poll.h>
#include <unistd.h>
#include <vector>

/* The desktop's session bus client keeps a buffer for the process. */
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

namespace {

constexpr int kNewAddressDialog = 400;
constexpr int kRealNameField = 404;

TEST(DisplayChoice, TheEnvironmentDecides)
{
    using M = pal::DisplayMode;
    const struct {
        const char *mode, *x11, *wayland;
        M want;
    } choices[] = {
        {nullptr, nullptr, nullptr, M::headless},
        {nullptr, "", "", M::headless},
        {nullptr, ":0", nullptr, M::live},
        {nullptr, nullptr, "wayland-0", M::live},
        {"headless", ":0", "wayland-0", M::headless},
        {"live", nullptr, nullptr, M::live},
        {"bogus", ":0", nullptr, M::live},
        {"bogus", nullptr, nullptr, M::headless},
    };
    for (const auto &c : choices)
        EXPECT_EQ(c.want, pal::display_choose(c.mode, c.x11, c.wayland)) << &c - choices;
    /* Scales 1 to 8; anything else is 1. */
    EXPECT_EQ(2, pal::display_scale_from("2"));
    EXPECT_EQ(8, pal::display_scale_from("8"));
    for (const char *bad : {(const char *)nullptr, "", "9", "0", "2x", "-2"})
        EXPECT_EQ(1, pal::display_scale_from(bad)) << (bad ? bad : "null");
}

/* A tool on the person's side; what it says goes to the test's output. */
void run(const std::string &cmd)
{
    EXPECT_EQ(0, std::system(cmd.c_str())) << cmd;
}

/* What the dialog side tells the person's side once it is on the screen:
 * its X window and where things are in it. */
struct Screen {
    std::mutex mu;
    std::condition_variable shown;
    bool ready = false;
    unsigned long xwin = 0;
    POINT field{}, close{};
    std::vector<unsigned char> rendering; /* blue, green, red, spare */
    int width = 0, height = 0;
};

Screen *screen = nullptr;
std::chrono::steady_clock::time_point give_up;

/* The middle of a control, in the coordinates of the dialog's rendering. */
POINT middle_of(HWND dlg, int id)
{
    pal::WindowRef c = pal::window_get(GetDlgItem(dlg, id));
    pal::Insets in = pal::nonclient_insets(dlg);
    return POINT{in.left + (c->rect.left + c->rect.right) / 2,
                 in.top + (c->rect.top + c->rect.bottom) / 2};
}

BOOL CALLBACK drive_display(void *)
{
    pal::display_present_dirty();
    HWND dlg = GetActiveWindow();
    if (dlg && !screen->ready && pal::display_x11_window(dlg)) {
        HBITMAP bmp = PalRenderWindow(dlg);
        BITMAP info{};
        GetObjectA(bmp, sizeof info, &info);
        std::vector<unsigned char> bits((size_t)info.bmWidthBytes * (size_t)info.bmHeight);
        GetBitmapBits(bmp, (LONG)bits.size(), bits.data());
        DeleteObject(bmp);
        pal::Insets in = pal::nonclient_insets(dlg);
        std::lock_guard<std::mutex> lock(screen->mu);
        screen->xwin = pal::display_x11_window(dlg);
        screen->field = middle_of(dlg, kRealNameField);
        screen->close = POINT{info.bmWidth - in.left - 2 - 8, in.top - pal::kCaptionHeight + 2 + 7};
        screen->rendering = std::move(bits);
        screen->width = info.bmWidth;
        screen->height = info.bmHeight;
        screen->ready = true;
        screen->shown.notify_all();
    }
    if (std::chrono::steady_clock::now() > give_up && dlg)
        EndDialog(dlg, -99);
    std::vector<pollfd> fds;
    size_t first = pal::display_add_fds(fds);
    poll(fds.data(), fds.size(), 50);
    pal::display_dispatch(fds, first);
    return TRUE;
}

std::string real_name;

INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        char text[128] = "";
        GetDlgItemTextA(dlg, kRealNameField, text, sizeof text);
        real_name = text;
        EndDialog(dlg, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        const DesktopServer &x = desktop_x();
        if (x.pid < 0)
            GTEST_SKIP() << "no X server for the desktop tests: " << x.problem;
        setenv("DISPLAY", x.name.c_str(), 1);
        setenv("CALLMGR_DISPLAY", "live", 1);
        pal::display_reopen();
        screen = new Screen();
        real_name.clear();
        give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        PalSetIdleHook(drive_display, nullptr);
    }
    void TearDown() override
    {
        PalSetIdleHook(nullptr, nullptr);
        pal::display_shutdown();
        delete screen;
        screen = nullptr;
        unsetenv("CALLMGR_DISPLAY");
    }

    static void xdo(const std::string &what) { run("xdotool " + what); }
    /* xdotool `what` at `p` in the X window, e.g. "click 1". */
    static void at(unsigned long xwin, POINT p, const char *what = "click 1")
    {
        xdo("mousemove --window " + std::to_string(xwin) + " " + std::to_string(p.x) + " " +
            std::to_string(p.y) + " " + what);
    }
    /* The person types into the field, which they click, of the window. */
    static void type_into(unsigned long xwin, POINT field, const char *text)
    {
        at(xwin, field);
        xdo("windowfocus --sync " + std::to_string(xwin));
        xdo(std::string("type --delay 5 '") + text + "'");
    }
};

/* The dialog on the screen is its headless rendering pixel for pixel, and
 * takes the person's typing and keys.  A press on the close box let go
 * elsewhere closes nothing; a click on it cancels. */
TEST_F(DesktopTest, TheWindowShowsTheRenderingTakesTypingAndItsCloseBoxCancels)
{
    std::string raw = "/tmp/callmgr-shot-" + std::to_string(getpid()) + ".rgb";
    std::thread person([&] {
        Screen &s = *screen;
        {
            std::unique_lock<std::mutex> lock(s.mu);
            if (!s.shown.wait_until(lock, give_up, [&s] { return s.ready; }))
                return;
        }
        run("import -window " + std::to_string(s.xwin) + " -depth 8 rgb:" + raw);
        at(s.xwin, s.close, "mousedown 1");
        at(s.xwin, POINT{5, 60}, "mouseup 1");
        type_into(s.xwin, s.field, "Ada Lovelace!");
        /* Out and back in with Shift+Tab selects the whole text; End keeps it. */
        xdo("key BackSpace Tab shift+Tab End");
        xdo("type --delay 5 ', Countess'");
        at(s.xwin, s.close);
    });
    INT_PTR result = DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(kNewAddressDialog),
                                     nullptr, dialog_proc, 0);
    person.join();
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ("Ada Lovelace, Countess", real_name);
    std::ifstream in(raw, std::ios::binary);
    std::vector<unsigned char> shot(std::istreambuf_iterator<char>(in), {});
    std::remove(raw.c_str());
    ASSERT_EQ((size_t)screen->width * (size_t)screen->height * 3, shot.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < (size_t)screen->width * (size_t)screen->height; ++i) {
        const unsigned char *r = &screen->rendering[i * 4];
        const unsigned char *p = &shot[i * 3];
        if (p[0] != r[2] || p[1] != r[1] || p[2] != r[0])
            first = differing++ ? first : i;
    }
    EXPECT_EQ(0u, differing) << "first at x " << first % (size_t)screen->width << ", y "
                             << first / (size_t)screen->width;
}

/* A loop of the application's own, on the message descriptor alone, shows
 * a modeless dialog and takes the person's input into it: PeekMessageA
 * presents the desktop and dispatches its events, and the descriptor wakes
 * for them.  Keys that arrive together go where the focus is as each is
 * read: the keys after a Tab reach the control the Tab moved the focus to,
 * even when the desktop delivered them before the Tab was read. */
TEST_F(DesktopTest, AnApplicationsOwnLoopTakesEachKeyWhereTheFocusIsWhenItIsRead)
{
    const int fd = PalGetMessageFd();
    ASSERT_GE(fd, 0);
    HWND dlg = CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(kNewAddressDialog), nullptr,
                                  dialog_proc, 0);
    ASSERT_NE(nullptr, dlg);
    ShowWindow(dlg, SW_SHOW);
    auto drain = [dlg] {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            if (!IsDialogMessageA(dlg, &m)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
    };
    drain();
    const unsigned long xwin = pal::display_x11_window(dlg);
    ASSERT_NE(0u, xwin) << "shown by the loop's look at the queue";
    HWND field = GetDlgItem(dlg, kRealNameField);
    std::thread person(type_into, xwin, middle_of(dlg, kRealNameField), "Ada");
    char text[64] = "";
    pollfd wake{fd, POLLIN, 0};
    while (std::string(text) != "Ada" && std::chrono::steady_clock::now() < give_up &&
           poll(&wake, 1, 20000) == 1) {
        drain();
        GetDlgItemTextA(dlg, kRealNameField, text, sizeof text);
    }
    person.join();
    EXPECT_STREQ("Ada", text) << "the descriptor slept through the person's typing";
    EXPECT_EQ(field, GetFocus());

    auto deliver = [](std::initializer_list<SDL_Event> events) {
        for (const SDL_Event &e : events)
            pal::display_handle_event(e);
    };
    auto press = [](SDL_Keycode sym, Uint16 mod, bool down = true) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        return e;
    };
    SDL_Event typed{};
    typed.type = SDL_TEXTINPUT;
    std::strncpy(typed.text.text, ", C", sizeof typed.text.text - 1);
    /* Out of the field with Tab, read before the rest arrives. */
    deliver({press(SDLK_TAB, KMOD_NONE), press(SDLK_TAB, KMOD_NONE, false)});
    drain();
    EXPECT_NE(field, GetFocus());
    /* Back in with Shift+Tab, which selects the text, then End and more
     * text: all delivered while the focus is still elsewhere. */
    deliver({press(SDLK_LSHIFT, KMOD_LSHIFT), press(SDLK_TAB, KMOD_LSHIFT),
             press(SDLK_TAB, KMOD_LSHIFT, false), press(SDLK_LSHIFT, KMOD_NONE, false),
             press(SDLK_END, KMOD_NONE), press(SDLK_END, KMOD_NONE, false), typed});
    drain();
    EXPECT_EQ(field, GetFocus());
    /* Enter presses the default button, which takes the field's text. */
    deliver({press(SDLK_RETURN, KMOD_NONE), press(SDLK_RETURN, KMOD_NONE, false)});
    drain();
    EXPECT_EQ("Ada, C", real_name);
    DestroyWindow(dlg);
    drain();
}

} // namespace
