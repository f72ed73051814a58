/*
 * winbase.h - the kernel part of the platform layer: error values, the tick
 * count, global, local and heap memory, modules and profile files.
 */
#ifndef PAL_WINBASE_H
#define PAL_WINBASE_H

#include <windef.h>
#include <winerror.h>

#ifndef RC_INVOKED
PAL_BEGIN_DECLS

/* Last error, kept per thread. */
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD err);

/*
 * Milliseconds since the clock started, wrapping at 2^32.  Timers and every
 * wait of the layer read the same clock, which tests may switch to virtual
 * time (paltest.h).
 */
DWORD WINAPI GetTickCount(void);

/* A wait without an end. */
#define INFINITE 0xFFFFFFFF

/* Strings.  lstrcmpiA compares in the user's collation without regard to
 * letter case, returning -1, 0 or 1; a null string sorts before any other. */
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);

/* Global memory.  A movable block is named by a handle that is not a pointer;
 * GlobalLock gives its address and counts locks. */
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_NOCOMPACT 0x0010
#define GMEM_NODISCARD 0x0020
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GMEM_DISCARDABLE 0x0100
#define GMEM_NOT_BANKED 0x1000
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE 0x2000
#define GMEM_LOCKCOUNT 0x00FF
#define GMEM_INVALID_HANDLE 0x8000
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID WINAPI GlobalLock(HGLOBAL mem);
BOOL WINAPI GlobalUnlock(HGLOBAL mem);
HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
SIZE_T WINAPI GlobalSize(HGLOBAL mem);
UINT WINAPI GlobalFlags(HGLOBAL mem);
HGLOBAL WINAPI GlobalHandle(LPCVOID mem);

/* Local memory: the library uses fixed blocks only. */
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI LocalFree(HLOCAL mem);
SIZE_T WINAPI LocalSize(HLOCAL mem);

/* The process heap. */
#define HEAP_ZERO_MEMORY 0x00000008
HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID mem);

/* Modules.  LoadLibraryA finds built-in modules by name (case does not
 * matter, ".DLL" may be left off); GetProcAddress takes a name or an ordinal
 * made with MAKEINTRESOURCEA. */
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

HMODULE WINAPI LoadLibraryA(LPCSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);

/* Resources of a module, from its compiled .res data. */
#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_GROUP_CURSOR MAKEINTRESOURCEA(12)

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC res);
LPVOID WINAPI LockResource(HGLOBAL data);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC res);

/*
 * Profile files (INI files).  A null key lists the section's key names, a
 * null section the file's section names, each name zero-terminated and the
 * list ending with a second zero; a list that does not fit is cut and the
 * result is size - 2, a value that does not fit is cut and the result is
 * size - 1.  Writing a null value deletes the key, a null key the section.
 * A path "X:\dir\file" names a file under the user's data folder
 * ($XDG_DATA_HOME/callmgr/drives/x/dir/file); other paths are host paths.
 */
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR out, DWORD size,
                                      LPCSTR file);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

PAL_END_DECLS
#endif

#endif
