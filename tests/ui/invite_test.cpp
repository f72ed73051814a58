// The Invite dialog and CMInvite: composing the invitation list, placing a
// new call or growing the session's call, and what a failure leaves behind.
#include "api/callfixture.h"

#include "members/members.h"
#include "ui/book.h"
#include "ui/dialogs.h"
#include "ui/lists.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const int kInvite = 100, kBook = 200;
const int kList = 109, kCall = 110, kAdd = 111, kAddressBook = 112, kDelete = 113;

class Invite : public CallFixture {
  protected:
    void start_session()
    {
        PalClearRecords();
        app = start();
        s = CMOpenSession(app);
        EXPECT_LT(s, 128);
    }
    /* Session `s` gets a call of the local member and `joined` members who
     * accepted (at 198.18.0.9, where nothing answers). */
    void existing_call(WORD s, const char *subject, std::vector<std::string> joined)
    {
        CMSESSION *session = SESSION_Find(s, nullptr);
        ASSERT_NE(nullptr, session);
        ASSERT_EQ(0, CALL_Create(session, subject));
        for (std::string &text : joined) {
            ASSERT_EQ(0, CALL_AddMember(session, text.data()));
            members(s).back()->state = CMS_JOINED;
            members(s).back()->ipaddr = 0xC6120009;
        }
    }
    static std::vector<CM *> members(WORD s)
    {
        std::vector<CM *> out;
        CMSESSION *session = SESSION_Find(s, nullptr);
        if (session && session->call && session->call->caller)
            for (CML *node = session->call->caller->members; node; node = node->next)
                out.push_back(node->cm);
        return out;
    }
    static bool update_pending(WORD s)
    {
        CMSESSION *session = SESSION_Find(s, nullptr);
        return session && (session->flags & SESSION_UPDATEPENDING);
    }
    /* CMInvite(s) while `script` acts on its dialogs. */
    UINT invite(DialogScript &script)
    {
        UINT result = 1;
        script.run([&] { result = CMInvite(s); });
        return result;
    }
    static HWND list_of(HWND dlg) { return GetDlgItem(dlg, kList); }
    static bool type(HWND dlg, int id, const char *t)
    {
        return PalTypeText(GetDlgItem(dlg, id), t);
    }

    BookFile book;
    WORD app = 0, s = 0;
};

TEST_F(Invite, ComposingTheListFollowsTheButtonRulesAndCloseCancels)
{
    start_session();
    UINT result =
        invite(DialogScript()
                   .on(kInvite, "fresh dialog; Enter with nothing listed does nothing",
                       [&](HWND dlg) {
                           EXPECT_FALSE(enabled(dlg, kCall));
                           EXPECT_FALSE(enabled(dlg, kAdd));
                           EXPECT_FALSE(enabled(dlg, kDelete));
                           return PalPressKey(dlg, VK_RETURN);
                       })
                   .on(kInvite, "still open, silently; typing enables Add and Call",
                       [&](HWND dlg) {
                           EXPECT_TRUE(PalBeeps().empty());
                           EXPECT_TRUE(type(dlg, 102, "bob@east"));
                           EXPECT_TRUE(enabled(dlg, kCall));
                           EXPECT_TRUE(PalPressButton(dlg, kAdd));
                           EXPECT_EQ((Names{"bob@east <bob@east>"}), PalListContents(list_of(dlg)))
                               << "added with the address as its name";
                           EXPECT_FALSE(enabled(dlg, kAdd)) << "the field was emptied";
                           EXPECT_TRUE(type(dlg, 102, "ann@west") && type(dlg, 105, "Ann") &&
                                       PalPressButton(dlg, kAdd));
                           return type(dlg, 102, "ANN@west") && type(dlg, 105, "ann") &&
                                  PalPressButton(dlg, kAdd);
                       })
                   .on(kInvite, "the duplicate beeps and keeps the fields", [&](HWND dlg) {
                       EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                       EXPECT_EQ((Names{"Ann <ann@west>", "bob@east <bob@east>"}),
                                 PalListContents(list_of(dlg)));
                       EXPECT_EQ("ANN@west", PalGetDlgItemText(dlg, 102));
                       EXPECT_TRUE(PalClickListItem(list_of(dlg), 0));
                       EXPECT_TRUE(enabled(dlg, kDelete));
                       EXPECT_TRUE(PalClickListItem(list_of(dlg), 1, MK_SHIFT));
                       EXPECT_TRUE(PalPressButton(dlg, kDelete));
                       EXPECT_TRUE(PalListContents(list_of(dlg)).empty()) << "both deleted";
                       EXPECT_FALSE(enabled(dlg, kDelete));
                       return PalPressKey(dlg, VK_ESCAPE);
                   }));
    EXPECT_EQ((UINT)CMERR_CANCELLED, result);
    EXPECT_TRUE(members(s).empty()) << "no call";
    ct_pump();
    EXPECT_TRUE(ct_notes().empty());
}

TEST_F(Invite, EnterPlacesANewCallWithTheTypedAddress)
{
    start_session();
    const std::string subject(200, 's');
    UINT result = invite(DialogScript().on(kInvite, "typed, not added; Enter", [&](HWND dlg) {
        return type(dlg, 107, subject.c_str()) && type(dlg, 105, "Bob") &&
               type(dlg, 102, "bob@nowhere") && PalPressKey(dlg, VK_RETURN);
    }));
    ASSERT_EQ(0u, result);
    std::vector<CM *> m = members(s);
    ASSERT_EQ(2u, m.size());
    EXPECT_STREQ("Bob", m[1]->realname);
    CMSESSION *session = SESSION_Find(s, nullptr);
    EXPECT_EQ(std::string(127, 's'), session->call->caller->subject) << "cut to 127";
    EXPECT_FALSE(update_pending(s)) << "two members are no conference";

    EXPECT_TRUE(ct_notes().empty()) << "posted, not sent";
    ct_pump();
    ASSERT_FALSE(ct_notes().empty());
    const Note &started = ct_notes()[0];
    EXPECT_EQ(CMN_CALLSTARTED, started.code);
    ASSERT_EQ(556u + 196 * 2, started.block.size());
    const CMCALLINFO &info = ct_info(started);
    EXPECT_EQ(session->udpsocket1, (SOCKET)info.udpsocket1) << "a new call gets its sockets";
    EXPECT_NE(0u, info.udpsocket1);
    EXPECT_STREQ("nowhere", ct_entry(started, 1).host);
}

TEST_F(Invite, TextsAreBoundedTo255Characters)
{
    start_session();
    existing_call(s, nullptr, {"<carl@north>", "<u@h>", "<x@y>"});
    std::vector<CM *> m = members(s);
    /* A member known by long texts, and one known by its address only. */
    for (CM *cm : {m[2], m[3]}) {
        REC_Free(cm->user);
        REC_Free(cm->host);
        cm->user = cm->host = nullptr;
    }
    m[2]->user = REC_CopyText(std::string(200, 'u').c_str());
    m[2]->host = REC_CopyText(std::string(200, 'h').c_str());
    m[3]->ipaddr = 0x0A000007;
    const std::string cut = (std::string(200, 'u') + "@" + std::string(200, 'h')).substr(0, 255);
    const std::string address = std::string(100, 'a') + "@" + std::string(25, 'b');
    UINT result = invite(
        DialogScript()
            .on(kInvite, "member texts; Call with a typed entry too long",
                [&](HWND dlg) {
                    EXPECT_EQ((Names{"10.0.0.7", "carl@north", cut}),
                              PalListContents(list_of(dlg)));
                    return type(dlg, 102, std::string(240, 'a').c_str()) &&
                           type(dlg, 105, std::string(20, 'n').c_str()) &&
                           PalPressButton(dlg, kCall);
                })
            .on(kInvite, "refused with a beep, never cut nor left out silently", [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(std::string(240, 'a'), PalGetDlgItemText(dlg, 102));
                EXPECT_EQ(4u, members(s).size()) << "nothing added";
                return PalClearText(GetDlgItem(dlg, 105)) && PalClearText(GetDlgItem(dlg, 102)) &&
                       type(dlg, 102, address.c_str()) && PalPressButton(dlg, kCall);
            }));
    ASSERT_EQ(0u, result);
    m = members(s);
    ASSERT_EQ(5u, m.size());
    EXPECT_EQ(std::string(100, 'a'), m[4]->user) << "255 characters, read whole on Call";
    EXPECT_EQ(address, m[4]->realname);
    EXPECT_FALSE(update_pending(s)) << "4 -> 5 asks for no update";
}

TEST_F(Invite, GrowingACallAddsOnlyNewInviteesAndAFailedAddLeavesItAsItWas)
{
    book.put("[users]\nAnn <ann@peer>=\nplainhost=\n[groups]\nTeam=\n[Team]\nAnn "
             "<ann@peer>=\nbob <bob@peer>=\n");
    start_session();
    existing_call(s, "Plans", {"Bob <bob@peer>"});
    CM *bob = members(s)[1];
    UINT result = invite(
        DialogScript()
            .on(kInvite, "typed, then the Address Book",
                [&](HWND dlg) {
                    EXPECT_TRUE(type(dlg, 102, "zed@peer"));
                    return PalPressButton(dlg, kAddressBook);
                })
            .on(kBook, "a group picked twice, plainhost selected, Enter (no OK), Close",
                [&](HWND dlg) {
                    HWND entries = GetDlgItem(dlg, 202);
                    return PalDoubleClickListItem(entries, 0) &&
                           PalDoubleClickListItem(entries, 0) && PalClickListItem(entries, 2) &&
                           PalPressKey(dlg, VK_RETURN) && PalPressButton(dlg, IDCANCEL);
                })
            .on(kInvite, "back: the picks are invitees, the second pick beeped twice",
                [&](HWND dlg) {
                    EXPECT_EQ((std::vector<UINT>{0, 0}), PalBeeps());
                    EXPECT_EQ((Names{"Bob", "Ann <ann@peer>", "bob <bob@peer>", "plainhost"}),
                              PalListContents(list_of(dlg)));
                    EXPECT_EQ(ENTRY_INCALL, list_flags(list_of(dlg))[0]);
                    EXPECT_EQ("zed@peer", PalGetDlgItemText(dlg, 102));
                    return PalPressButton(dlg, kCall);
                }));
    /* "plainhost" is no address: the two added before it are taken back. */
    EXPECT_EQ((UINT)CMERR_BADMEMBER, result);
    std::vector<CM *> m = members(s);
    ASSERT_EQ(2u, m.size());
    EXPECT_EQ(bob, m[1]);
    EXPECT_FALSE(update_pending(s));
    ct_pump();
    EXPECT_TRUE(ct_notes().empty());

    /* The call as it was: its member greyed, its subject fixed; Call adds
     * only the new invitee. */
    result =
        invite(DialogScript()
                   .on(kInvite, "the call's member, its fixed subject",
                       [&](HWND dlg) {
                           EXPECT_EQ((Names{"Bob"}), PalListContents(list_of(dlg)));
                           EXPECT_EQ("Plans", PalGetDlgItemText(dlg, 107));
                           EXPECT_FALSE(enabled(dlg, 107));
                           EXPECT_TRUE(enabled(dlg, kCall)) << "the list is not empty";
                           return PalClickListItem(list_of(dlg), 0) && PalPressButton(dlg, kDelete);
                       })
                   .on(kInvite, "a member of the call is never deleted", [&](HWND dlg) {
                       EXPECT_EQ((Names{"Bob"}), PalListContents(list_of(dlg)));
                       return type(dlg, 102, "carol@nowhere") && PalPressButton(dlg, kCall);
                   }));
    ASSERT_EQ(0u, result);
    m = members(s);
    ASSERT_EQ(3u, m.size());
    EXPECT_EQ(bob, m[1]) << "the call kept its members";
    EXPECT_STREQ("carol", m[2]->user);
    EXPECT_TRUE(update_pending(s)) << "2 -> 3: the joined members hear of it first";
    /* Taken back at once, as the pass would: no exchange with Bob's
     * machine runs under the next dialog. */
    SESSION_Find(s, nullptr)->flags &= ~SESSION_UPDATEPENDING;

    ct_pump();
    ASSERT_FALSE(ct_notes().empty());
    const Note &added = ct_notes()[0];
    EXPECT_EQ(CMN_MEMBERSADDED, added.code);
    const CMCALLINFO &info = ct_info(added);
    EXPECT_EQ(3u, info.count);
    EXPECT_EQ(0u, info.udpsocket1 | info.udpsocket2) << "no new sockets";
}

TEST_F(Invite, BadSessionBusyAndFailuresChangeNothing)
{
    start_session();
    UINT result = 0;
    DialogScript().run([&] { result = CMInvite(99); });
    EXPECT_EQ((UINT)CMERR_BADSESSION, result);

    WORD other = CMOpenSession(app);
    UINT inner = 0, inner_other = 0;
    EXPECT_EQ((UINT)CMERR_CANCELLED,
              invite(DialogScript().on(
                  kInvite, "the library entered again from inside the dialog", [&](HWND dlg) {
                      inner = CMInvite(s);
                      inner_other = CMInvite(other);
                      return type(dlg, 102, "bob@peer") && PalPressKey(dlg, VK_ESCAPE);
                  })));
    EXPECT_EQ((UINT)CMERR_BUSY, inner);
    EXPECT_EQ((UINT)CMERR_BUSY, inner_other);

    DialogScript().run([&] {
        PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, 1, 0);
        result = CMInvite(s);
        PalFaultClear();
    });
    EXPECT_EQ((UINT)CMERR_CANCELLED, result);
    EXPECT_TRUE(members(s).empty());

    /* No memory for the block: the invitees are taken back. */
    existing_call(other, "Plans", {"Bob <bob@peer>"});
    for (WORD session : {other, s}) {
        DialogScript()
            .on(kInvite, "Call without memory for the block",
                [&](HWND dlg) {
                    bool typed = type(dlg, 102, "carol@peer");
                    PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, -1, 0);
                    return typed && PalPressButton(dlg, kCall);
                })
            .run([&] { result = CMInvite(session); });
        PalFaultClear();
        EXPECT_EQ((UINT)CMERR_BLOCKALLOC, result);
    }
    EXPECT_EQ(2u, members(other).size());
    EXPECT_FALSE(update_pending(other));
    EXPECT_EQ(nullptr, SESSION_Find(s, nullptr)->call) << "a new call is released";

    EXPECT_EQ((UINT)CMERR_BADSESSION,
              invite(DialogScript().on(kInvite, "closed under the dialog", [&](HWND dlg) {
                  EXPECT_EQ(0u, CMCloseSession(s));
                  return type(dlg, 102, "bob@peer") && PalPressButton(dlg, kCall);
              })));
    ct_pump();
    EXPECT_TRUE(ct_notes().empty());
}

/* Pictures of the two dialogs as a user sees them with a call in progress
 * and an address book of users and groups (the README shows them). */
TEST_F(Invite, SnapshotsOfTheFilledDialogs)
{
    book.put("[users]\nAlice Archer <alice@hostb>=\nBob Baker <bob@hostc>=\n"
             "Carol Chen <carol@hostd>=\n[groups]\nDesign=\n[Design]\n"
             "Alice Archer <alice@hostb>=\nBob Baker <bob@hostc>=\n");
    start_session();
    existing_call(s, "Design review", {"Dave Dunn <dave@hoste>"});
    /* Drawn in a folder of this run's own, then renamed into place: the
     * case and the whole program may run at once, each on a test host whose
     * process ids start again from 1. */
    std::filesystem::create_directories(SNAPSHOT_DIR);
    std::string own = std::string(SNAPSHOT_DIR) + "/.drawing.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(own.data()));
    const std::string invite_png = "/invite.png", book_png = "/addressbook.png";
    UINT result =
        invite(DialogScript()
                   .on(kInvite, "add an address, open the address book",
                       [](HWND dlg) {
                           return type(dlg, 102, "erin@hostf") && PalPressButton(dlg, kAdd) &&
                                  PalPressButton(dlg, kAddressBook);
                       })
                   .on(kBook, "select a user, take the picture, close it copying the user",
                       [&](HWND dlg) {
                           return PalClickListItem(GetDlgItem(dlg, 202), 2) &&
                                  PalRenderWindowPng(dlg, (own + book_png).c_str()) &&
                                  PalPressButton(dlg, IDCANCEL);
                       })
                   .on(kInvite, "take the picture, close", [&](HWND dlg) {
                       return PalRenderWindowPng(dlg, (own + invite_png).c_str()) &&
                              PalPressButton(dlg, IDCANCEL);
                   }));
    EXPECT_EQ((UINT)CMERR_CANCELLED, result);
    for (const std::string &png : {invite_png, book_png}) {
        std::error_code undrawn; /* the folder goes below all the same */
        std::filesystem::rename(own + png, SNAPSHOT_DIR + png, undrawn);
        EXPECT_TRUE(!undrawn && std::filesystem::file_size(SNAPSHOT_DIR + png) > 1000u) << png;
    }
    std::filesystem::remove_all(own);
}

} // namespace
