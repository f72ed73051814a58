/*
 * The system window classes: dialogs and the standard controls.  They are
 * registered as global classes the first time any window is created.
 */
#ifndef PAL_USER_CONTROLS_H
#define PAL_USER_CONTROLS_H

namespace pal {

void controls_register(); /* all of them, once */

void dialog_register();   /* "#32770" */
void static_register();   /* "STATIC" */
void edit_register();     /* "EDIT" */
void button_register();   /* "BUTTON" */
void listbox_register();  /* "LISTBOX" */
void combobox_register(); /* "COMBOBOX" */

} // namespace pal

#endif
