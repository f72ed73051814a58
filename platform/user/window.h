/*
 * Window classes and windows.  Window records are shared between the table
 * and any call in progress on them, so a window destroyed by its own
 * procedure stays readable until that call has returned; its handle is
 * invalid from the moment destruction ends.
 */
#ifndef PAL_USER_WINDOW_H
#define PAL_USER_WINDOW_H

#include <windows.h>

#include "user/queue.h"

#include <memory>
#include <string>
#include <vector>

namespace pal {

struct WndClass {
    std::string name;
    WNDCLASSA wc;
    std::string menu_name;
    ATOM atom;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WndClass> cls;
    WNDPROC proc = nullptr;
    std::string text;
    DWORD style = 0;
    DWORD exstyle = 0;
    HWND owner = nullptr;
    HWND parent = nullptr;
    LONG_PTR id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userdata = 0;
    std::vector<BYTE> extra;
    QueueRef queue;
    RECT rect{};
    /* Visibility and enabling live in `style` (WS_VISIBLE, WS_DISABLED)
     * alone, so SetWindowLongPtrA(GWL_STYLE) changes them as it does on
     * Windows. */
    bool destroying = false;
    uint64_t serial = 0;       /* creation order */
    std::shared_ptr<void> ext; /* state kept by the dialog and control code */
};

using WindowRef = std::shared_ptr<Window>;

/* The live window of a handle, or null. */
WindowRef window_get(HWND hwnd);

/* Every live window, oldest first. */
std::vector<WindowRef> window_list();

/* Calls the window's procedure on the calling thread. */
LRESULT window_call(const WindowRef &w, UINT msg, WPARAM wparam, LPARAM lparam);

} // namespace pal

#endif
