/*
 * The library's settings: one set for the whole process, written by
 * CMSetInfo and read where sounds are played, invitations are answered and
 * the address book is opened.  They keep their values for the life of the
 * loaded library.
 */
#ifndef CALLMGR_API_SETTINGS_H
#define CALLMGR_API_SETTINGS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SETTINGS_PATHSIZE 256
/* The block carries up to 255 characters for each name; the stores hold
 * them whole. */
#define SETTINGS_SOUNDSIZE 256

typedef struct CMSETTINGS {
    char addressbook[SETTINGS_PATHSIZE]; /* empty: no address book */
    INT callring;                        /* nonzero: ring while inviting */
    char callsound[SETTINGS_SOUNDSIZE];
    INT rsvpring; /* nonzero: ring when invited */
    char rsvpsound[SETTINGS_SOUNDSIZE];
    INT autoaccept; /* nonzero: accept without asking */
} CMSETTINGS;

/* Nothing guards it: like every record of the library it is used only from
 * the thread that runs the state-machine windows. */
extern CMSETTINGS LIB_Settings;

#ifdef __cplusplus
}
#endif

#endif
