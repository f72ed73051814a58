/*
 * Dialogs inside the window manager: templates, the dialog record that
 * DefDlgProcA keeps for each dialog window, focus and activation, and the
 * record of the beeps and help requests that tests read.
 */
#ifndef PAL_USER_DIALOG_H
#define PAL_USER_DIALOG_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace pal {

/* A resource name as a template holds it: an ordinal or a text. */
struct TemplateName {
    bool is_ordinal = false;
    WORD ordinal = 0;
    std::string text;
    bool empty() const { return !is_ordinal && text.empty(); }
};

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exstyle = 0;
    DWORD help_id = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    TemplateName cls;  /* ordinals 0x80..0x85 name the system classes */
    TemplateName text; /* an ordinal text names a resource (icons) */
};

struct DialogTemplate {
    bool extended = false; /* DLGTEMPLATEEX */
    DWORD style = 0;
    DWORD exstyle = 0;
    DWORD help_id = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName cls;
    std::string caption;
    WORD point_size = 0; /* with DS_SETFONT */
    WORD weight = 0;
    bool italic = false;
    std::string face;
    std::vector<DialogItemTemplate> items;
};

/* Reads a DLGTEMPLATE or DLGTEMPLATEEX (told apart by its signature);
 * false when the data ends before the template does. */
bool dialog_parse(const BYTE *data, size_t size, DialogTemplate *out);

/* The class name of a template's class field: the system class of an
 * ordinal, or the text. */
std::string dialog_class_name(const TemplateName &cls);

/* What DefDlgProcA keeps for a dialog window. */
struct Dialog {
    HWND self = nullptr;
    HFONT font = nullptr; /* made from the template; the dialog deletes it */
    SIZE units{8, 16};    /* dialog base units in pixels */
    WORD defid = 0;       /* the default push button's id; 0: none */
    HWND focus = nullptr; /* the control that last had the focus */
    bool ended = false;
    INT_PTR result = 0;
    HWND disabled_owner = nullptr; /* the owner the modal loop disabled */
    int resource_id = 0;           /* the template's ordinal, 0 for a named one */
};

using DialogRef = std::shared_ptr<Dialog>;

/* The record of a dialog window, or null when the window is no dialog. */
DialogRef dialog_of(HWND hwnd);

/* Finds and reads a module's dialog template; false (with the last error
 * set) when it is missing or malformed.  `resource_id` gets the name's
 * ordinal, 0 for a named template. */
bool dialog_load(HINSTANCE instance, LPCSTR name, DialogTemplate *tpl, int *resource_id);

/* Makes a dialog window from a parsed template and sends it WM_INITDIALOG;
 * null on failure, after destroying whatever was made.  A modal dialog's
 * caller has disabled the owner already and names it, so that EndDialog
 * enables it again. */
HWND dialog_create(HINSTANCE instance, const DialogTemplate &tpl, int resource_id, HWND owner,
                   DLGPROC proc, LPARAM param, HWND disabled_owner);

/* Runs a dialog modally as DialogBoxParamA does: disables the owner's
 * top-level window, makes the dialog, runs its loop and destroys it.
 * Returns the dialog's result, or -1 when the dialog could not be made. */
INT_PTR dialog_box(HINSTANCE instance, const DialogTemplate &tpl, int resource_id, HWND owner,
                   DLGPROC proc, LPARAM param);

/* Modal dialogs running now, the innermost last. */
std::vector<HWND> dialog_modal_stack();

/* The dialog that has `hwnd` as a descendant (or is it), or null. */
HWND dialog_containing(HWND hwnd);

/* Sets the focus as the dialog manager does (Tab, WM_NEXTDLGCTL): an edit
 * control that takes it has its whole text selected. */
void dialog_focus_control(HWND control);

/* Called by SetFocus when the focus enters or moves inside a dialog: the
 * dialog remembers the control, and a push button with the focus becomes the
 * default one until the focus leaves it. */
void dialog_focus_moved(HWND dlg, HWND focus);

/* Activation of top-level windows of the calling thread: WM_ACTIVATE with
 * WA_INACTIVE to the window that was active, then with `how` (WA_ACTIVE or
 * WA_CLICKACTIVE) to the new one, whose dialog focus is then restored. */
void activate(HWND hwnd, WORD how);

/* The top-level window that holds `hwnd` (itself when it is one). */
HWND top_level_of(HWND hwnd);

/* Looks at a key press (WM_KEYDOWN) for a dialog as IsDialogMessageA does.
 * True when the dialog manager used the key itself (Tab, arrows, Enter,
 * Esc); false when the key, and the character it makes, are for the window
 * the message names. */
bool dialog_key(HWND dlg, const MSG *msg);

/* The keyboard state that GetKeyState reports: set by the UI driver while it
 * holds a key. */
void keyboard_set(int vk, bool down);

/* The character of Windows-1252 for a UTF-16 code unit ('?' when there is
 * none); defined with the string resources. */
char ansi_char(WORD c);

} // namespace pal

#endif
