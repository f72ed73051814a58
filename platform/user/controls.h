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
void static_register();   /* "Static" */
void edit_register();     /* "Edit" */
void button_register();   /* "Button" */
void listbox_register();  /* "ListBox" */
void combobox_register(); /* "ComboBox" */

} // namespace pal

#endif
