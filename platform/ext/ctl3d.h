/*
 * ctl3d.h - the 3-D look of dialogs and their controls.  The system
 * library's interface on both platforms (the cross compiler ships its import
 * library but no header), so it takes only <windows.h> types.
 */
#ifndef PAL_CTL3D_H
#define PAL_CTL3D_H

#include <windows.h>

#define CTL3D_BUTTONS 0x0001
#define CTL3D_LISTBOXES 0x0002
#define CTL3D_EDITS 0x0004
#define CTL3D_COMBOS 0x0008
#define CTL3D_STATICTEXTS 0x0010
#define CTL3D_STATICFRAMES 0x0020
#define CTL3D_ALL 0xffff

#ifndef RC_INVOKED
#ifdef __cplusplus
extern "C" {
#endif
BOOL WINAPI Ctl3dSubclassDlg(HWND dlg, WORD controls);
#ifdef __cplusplus
}
#endif
#endif

#endif
