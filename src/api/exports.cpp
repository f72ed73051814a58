/*
 * The library's exports with their ordinals, as the loader offers them to
 * GetProcAddress.  callmgr.def lists the same names and ordinals for the
 * record; a test keeps the two in step.
 */
#include "api/api.h"

#include <callmgr.h>
#include <cmwire.h>

extern "C" const unsigned char CALLMGR_Resources[];
extern "C" const size_t CALLMGR_Resources_size;

namespace {

const PAL_EXPORT lib_exports[] = {
    {1, "WEP", PAL_PROC(WEP)},
    {2, "CMStartup", PAL_PROC(CMStartup)},
    {3, "CMCleanup", PAL_PROC(CMCleanup)},
    {4, "CMOpenSession", PAL_PROC(CMOpenSession)},
    {5, "CMInvite", PAL_PROC(CMInvite)},
    {6, "CMCloseSession", PAL_PROC(CMCloseSession)},
    {7, "CMSetLogInfo", PAL_PROC(CMSetLogInfo)},
    {8, "CMSetInfo", PAL_PROC(CMSetInfo)},
    {9, "CMGetAppInfo", PAL_PROC(CMGetAppInfo)},
    {10, "CMGetNetInfo", PAL_PROC(CMGetNetInfo)},
    {11, "CMSetNetInfo", PAL_PROC(CMSetNetInfo)},
    {12, "CMInviteUser", PAL_PROC(CMInviteUser)},
    {64, "FSM_WndProc", PAL_PROC(FSM_WndProc)},
    {65, "INVITE_DlgProc", PAL_PROC(INVITE_DlgProc)},
    {66, "RSVP_DlgProc", PAL_PROC(RSVP_DlgProc)},
    {67, "GroupDlgProc", PAL_PROC(GroupDlgProc)},
    {68, "MemberDlgProc", PAL_PROC(MemberDlgProc)},
    {69, "CLIENT_TimerProc", PAL_PROC(CLIENT_TimerProc)},
    {70, "ADDRBOOK_DlgProc", PAL_PROC(ADDRBOOK_DlgProc)},
    {128, "palprog_1", PAL_PROC(palprog_1)},
    {256, "xdr_CallMessage", PAL_PROC(xdr_CallMessage)},
    {257, "xdr_CallState", PAL_PROC(xdr_CallState)},
    {258, "xdr_CallMemberState", PAL_PROC(xdr_CallMemberState)},
    {259, "xdr_LPCM", PAL_PROC(xdr_LPCM)},
    {260, "xdr_LPCML", PAL_PROC(xdr_LPCML)},
    {261, "xdr_LPCALLER", PAL_PROC(xdr_LPCALLER)},
    {262, "xdr_LPCALLREQ", PAL_PROC(xdr_LPCALLREQ)},
    {263, "xdr_LPCALLRPY", PAL_PROC(xdr_LPCALLRPY)},
    {264, "xdr_ipaddr_t", PAL_PROC(xdr_ipaddr_t)},
    {265, "xdr_INT", PAL_PROC(xdr_INT)},
    {266, "xdr_CM", PAL_PROC(xdr_CM)},
    {267, "xdr_CML", PAL_PROC(xdr_CML)},
    {268, "xdr_CALLER", PAL_PROC(xdr_CALLER)},
    {269, "xdr_CALLREQ", PAL_PROC(xdr_CALLREQ)},
    {270, "xdr_CALLRPY", PAL_PROC(xdr_CALLRPY)},
    {280, "xdr_CAPINFO", PAL_PROC(xdr_CAPINFO)},
    {281, "xdr_LPCAPINFO", PAL_PROC(xdr_LPCAPINFO)},
    {282, "xdr_CAPINFOMESSAGE", PAL_PROC(xdr_CAPINFOMESSAGE)},
    {283, "xdr_LPCAPINFOMESSAGE", PAL_PROC(xdr_LPCAPINFOMESSAGE)},
};

} // namespace

extern "C" const PAL_MODULEDESC *LIB_Describe(void)
{
    static const PAL_MODULEDESC module = {"CALLMGR.DLL",     lib_exports,
                                          sizeof lib_exports / sizeof lib_exports[0],
                                          LibMain,           CALLMGR_Resources,
                                          CALLMGR_Resources_size};
    return &module;
}
