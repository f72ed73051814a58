/* ctl3d.h - the 3-D look of dialogs and their controls. */
#ifndef PAL_CTL3D_H
#define PAL_CTL3D_H

#include <windef.h>

#define CTL3D_BUTTONS 0x0001
#define CTL3D_LISTBOXES 0x0002
#define CTL3D_EDITS 0x0004
#define CTL3D_COMBOS 0x0008
#define CTL3D_STATICTEXTS 0x0010
#define CTL3D_STATICFRAMES 0x0020
#define CTL3D_ALL 0xffff

#ifndef RC_INVOKED
PAL_BEGIN_DECLS
BOOL WINAPI Ctl3dSubclassDlg(HWND dlg, WORD controls);
PAL_END_DECLS
#endif

#endif
