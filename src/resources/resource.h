/*
 * resource.h - the ids of the library's resources, shared by callmgr.rc and
 * the code that loads them.  Plain #defines only: the resource compiler's
 * preprocessor reads this file too.  The numbers are part of the library's
 * face (applications and tools load the dialogs by number), so they never
 * change.
 */
#ifndef CALLMGR_RESOURCE_H
#define CALLMGR_RESOURCE_H

/* Dialog templates. */
#define INVITE_DIALOG 100   /* Invite */
#define ADDRBOOK_DIALOG 200 /* Address Book */
#define GROUP_DIALOG 300    /* Group */
#define MEMBER_DIALOG 400   /* New/Change Address */
#define RSVP_DIALOG 500     /* Invite - RSVP */

/* Strings. */
#define STR_NEWADDRESS 100    /* Address dialog title for a new user */
#define STR_CHANGEADDRESS 101 /* ... for a user being changed */
#define STR_NEWGROUP 102      /* Group dialog title for a new group */
#define STR_CHANGEGROUP 103   /* ... for a group being changed */
#define STR_DELETETEXT 104    /* the delete confirmation's question */
#define STR_DELETECAPTION 105 /* ... and its caption */
#define STR_WINSOCK16 106     /* the 16-bit socket library; kept, never loaded */
#define STR_NETLIBRARY 107    /* the socket library bound at run time */
#define STR_FSMCLASS 108      /* the state-machine window's class name */

/* Bitmaps. */
#define ICONS_BITMAP 100 /* the address lists' icon strip */

#endif
