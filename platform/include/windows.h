/* windows.h - the platform layer's Win32 subset, as one include. */
#ifndef PAL_WINDOWS_H
#define PAL_WINDOWS_H

#include <windef.h>
#include <winerror.h>
#include <winbase.h>
#include <winuser.h>
#include <wingdi.h>

#endif
