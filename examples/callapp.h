/*
 * callapp - the call-manager side of the example applications, whatever
 * loop runs them:
 *
 *     NAME invite ADDRESS     places one call and ends when it is answered
 *     NAME answer [COUNT]     accepts invitations by itself; ends after COUNT
 *                             of them (default: when interrupted)
 *
 * A hidden window receives the library's notifications and prints one line
 * for each.  The application's loop only has to empty the thread's message
 * queue whenever PalGetMessageFd is readable or PalGetMessageTimeout has
 * passed, and to stop once CallAppFinished says so.
 */
#ifndef CALLAPP_H
#define CALLAPP_H

/* Reads the command line, registers with the call manager and starts the
 * command (an invitation is placed from the loop, once the local address is
 * known).  0 when it runs; otherwise the exit status (usage printed). */
int CallAppStart(int argc, char **argv);

/* Asks the application to end (a signal, say): it leaves the call manager,
 * which may take a few more turns of the loop. */
void CallAppQuit(void);

/* Nonzero once the application is done; *status then holds its exit
 * status: 0 accepted or all invitations answered, 1 declined or
 * unreachable, 2 a call-manager error, 3 no answer in time. */
int CallAppFinished(int *status);

#endif
