/*
 * The system window classes: dialogs and the standard controls.  They are
 * registered as global classes the first time any window is created.
 */
#ifndef PAL_USER_CONTROLS_H
#define PAL_USER_CONTROLS_H

#include <windows.h>

namespace pal {

void controls_register(); /* all of them, once */

/* Registers one system class as a global class of no instance. */
void register_system_class(const char *name, WNDPROC proc, UINT style, int window_extra = 0);

void dialog_register();   /* "#32770" */
void static_register();   /* "STATIC" */
void edit_register();     /* "EDIT" */
void button_register();   /* "BUTTON" */
void listbox_register();  /* "LISTBOX" */
void combobox_register(); /* "COMBOBOX" */

} // namespace pal

#endif
