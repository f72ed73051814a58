/*
 * DOS paths on the host file system.
 *
 * The system names its files the Windows way ("C:\TEMP\vorlane.zab").  One
 * rule maps such a path to the host:
 *
 *   "X:\dir\file"  ->  $XDG_DATA_HOME/callmgr/drives/x/dir/file
 *
 * ($XDG_DATA_HOME when it is set to an absolute path, otherwise
 * $HOME/.local/share, otherwise the home folder of the user's password
 * entry).  The drive letter is lower-cased; "\" and "/" both separate
 * components; empty and "." components are dropped; a ".." component is
 * refused, so no DOS path leads out of its drive folder.  Components that
 * already exist on the host are matched without regard to letter case, as
 * the Windows file system would ("C:\Temp\x" finds the folder TEMP); an
 * exact match wins, and a name matching several entries is used as given.
 *
 * Mapping a C: path makes the C: drive folder and a TEMP folder in it when
 * they are missing (mode 0700, as are the folders above it), so that the
 * usual "C:\TEMP\..." files can be written from the first run on.  Other
 * drives are only mapped, never made.
 *
 * Anything that is not "letter, colon, separator" (a POSIX path, a relative
 * name) is a host path and passes unchanged.
 */
#ifndef PAL_KERNEL_DOSPATH_H
#define PAL_KERNEL_DOSPATH_H

#include <string>

namespace pal {

/* True when `path` has the form "X:\..." (or "X:/...") with X a letter. */
bool dos_path_is_dos(const char *path);

/*
 * The host path that `path` names, in *host.  False (and *host empty) for a
 * null path, a DOS path with a ".." component or with nowhere to map to (no
 * home folder).
 */
bool dos_path_map(const char *path, std::string *host);

} // namespace pal

#endif
