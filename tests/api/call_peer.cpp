// The invited side of the multi-host call tests: one application answers
// the first invitation as its mode says and reports every notification.
//   call_peer accept    auto-accept is on
//   call_peer decline   the user presses Decline in the Invite - RSVP dialog
//   call_peer stay      auto-accept, then stay in the call until the first
//                       member-list update arrives ("updated ...")
//   call_peer rsvp      the user reads the dialog ("rsvp ...") and accepts
#include "api/calltest.h"

#include <callmgr.h>
#include <paldriver.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void report(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string describe(const Note &n)
{
    if (n.code == CMN_INVITEREFUSED)
        return "refused session=" + std::to_string(n.session) +
               " lparam=" + std::to_string((long)n.lparam);
    if (n.code != CMN_CALLSTARTED && n.code != CMN_CALLUPDATED)
        return "note " + std::to_string(n.code);
    char text[512];
    const CMCALLINFO &info = ct_info(n);
    snprintf(text, sizeof text, "%s size=%zu tcp=%u udp=%u/%u subject=%s count=%u",
             n.code == CMN_CALLSTARTED ? "started" : "updated", n.block.size(), info.tcpport,
             info.udpport1, info.udpport2, info.subject, info.count);
    std::string line = text;
    for (size_t i = 0; i < info.count; ++i) {
        const CMMEMBERENTRY &e = ct_entry(n, i);
        snprintf(text, sizeof text, " %s@%s/%08x", e.user, e.host, e.ipaddr);
        line += text;
    }
    return line;
}

} // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "accept" && mode != "decline" && mode != "stay" && mode != "rsvp")
        return 2;
    HWND window = ct_start_window();
    CMINFO info{};
    info.autoaccept = mode == "accept" || mode == "stay";
    CMSetInfo(&info);
    if (mode == "decline")
        PalOnModalIdle([](HWND dlg) { return PalPressButton(dlg, 7); });
    if (mode == "rsvp")
        PalOnModalIdle([](HWND dlg) {
            std::string members;
            for (const std::string &m : PalListContents(GetDlgItem(dlg, 506)))
                members += " " + m;
            report(std::string("rsvp subject=") + PalGetDlgItemText(dlg, 502) + " from=" +
                   PalGetDlgItemText(dlg, 504) + " label=" + PalGetDlgItemText(dlg, 505) +
                   " members=" + members.substr(members.empty() ? 0 : 1));
            return PalPressButton(dlg, 6);
        });
    char name[256];
    WORD app = CMStartup(window, CT_NOTIFY, name);
    if (app >= 128)
        return 3;
    bool done = false;
    ct_on_note() = [&](const Note &n) {
        report(describe(n));
        done = mode == "stay" ? n.code == CMN_CALLUPDATED
                              : n.code == CMN_CALLSTARTED || n.code == CMN_INVITEREFUSED;
    };
    report("ready " + std::string(name));
    MSG m;
    while (!done && GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    PalClearModalIdle();
    report("cleanup " + std::to_string(CMCleanup(app)));
    DestroyWindow(window);
    return 0;
}
