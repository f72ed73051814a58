/*
 * The system classes are registered together, once, when the first window
 * of the process is made, so that dialogs and applications find them by
 * name as they would on Windows.
 */
#include "user/controls.h"

#include <mutex>

namespace pal {

void register_system_class(const char *name, WNDPROC proc, UINT style, int window_extra)
{
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | style;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = window_extra;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void controls_register()
{
    static std::once_flag once;
    std::call_once(once, [] {
        dialog_register();
        static_register();
        edit_register();
        button_register();
        listbox_register();
        combobox_register();
    });
}

} // namespace pal
