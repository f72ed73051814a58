// Asynchronous host lookups: the posted answer, the entry in the caller's
// buffer, errors, cancellation, and this host's own name, answered with the
// primary address where the hosts file says loopback only. Built for a
// loopback-only host and, with CALLMGR_LOOKUP_PAIR, for host A of a pair.
#include "support/recorder.h"

#include <winsock.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const UINT ANSWER = WM_USER + 3;
using Addrs = std::vector<std::string>;

class Lookup : public ::testing::Test {
  protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
        register_recording_class("LookupWnd");
        w = make_window("LookupWnd");
        received().clear();
    }
    void TearDown() override
    {
        DestroyWindow(w);
        WSACleanup();
    }
    /* The lookup answers among what the windows received. */
    static std::vector<SEQ_RECORD> answers()
    {
        std::vector<SEQ_RECORD> out;
        for (const SEQ_RECORD &r : received())
            if (r.msg == ANSWER || r.msg == ANSWER + 1)
                out.push_back(r);
        return out;
    }
    /* Dispatches until `n` answers have come. */
    void wait_for(size_t n)
    {
        MSG m;
        while (answers().size() < n && GetMessageA(&m, nullptr, 0, 0))
            DispatchMessageA(&m);
    }
    /* Looks `name` up and waits: the addresses, dotted, in order, or "error N". */
    Addrs lookup(const char *name)
    {
        received().clear();
        if (!WSAAsyncGetHostByName(w, ANSWER, name, buf, sizeof buf))
            return {"refused"};
        wait_for(1);
        if (int err = WSAGETASYNCERROR(answers().back().lparam))
            return {"error " + std::to_string(err)};
        Addrs out;
        for (char **p = ((const hostent *)buf)->h_addr_list; *p; ++p) {
            in_addr a;
            memcpy(&a, *p, 4);
            out.push_back(inet_ntoa(a));
        }
        return out;
    }
    HWND w = nullptr;
    char buf[MAXGETHOSTSTRUCT];
};

#ifndef CALLMGR_LOOKUP_PAIR

/* Unknown names and the order of answers: fsm/fsm_test.cpp. */
TEST_F(Lookup, TheHostEntryIsLaidOutInTheCallersBufferUnlessItIsShort)
{
    memset(buf, 0x55, sizeof buf);
    HANDLE task = WSAAsyncGetHostByName(w, ANSWER, "peer", buf, sizeof buf);
    ASSERT_NE(nullptr, task);
    wait_for(1);
    ASSERT_EQ(1u, received().size());
    EXPECT_EQ((WPARAM)task, received()[0].wparam);
    int used = WSAGETASYNCBUFLEN(received()[0].lparam);

    const hostent *he = (const hostent *)buf;
    EXPECT_STREQ("peer.callmgr.test", he->h_name);
    EXPECT_TRUE(he->h_addrtype == AF_INET && he->h_length == 4);
    EXPECT_EQ(0, memcmp("\xC6\x12\x00\x09", he->h_addr_list[0], 4));
    EXPECT_EQ(nullptr, he->h_addr_list[1]);
    ASSERT_NE(nullptr, he->h_aliases[0]);
    const char *parts[] = {he->h_name, he->h_addr_list[0], (const char *)he->h_aliases};
    for (const char *p : parts)
        EXPECT_TRUE(p >= buf && p < buf + used) << "everything lies inside the buffer";
    EXPECT_EQ(0x55, (unsigned char)buf[used]) << "nothing written past what it reports";

    /* A short buffer is left alone and the size needed reported. */
    received().clear();
    char small[40];
    memset(small, 0x55, sizeof small);
    ASSERT_NE(nullptr, WSAAsyncGetHostByName(w, ANSWER, "peer.callmgr.test", small, sizeof small));
    wait_for(1);
    EXPECT_EQ(WSAENOBUFS, WSAGETASYNCERROR(received()[0].lparam));
    EXPECT_GT(WSAGETASYNCBUFLEN(received()[0].lparam), (int)sizeof small);
    for (char c : small)
        EXPECT_EQ(0x55, (unsigned char)c);

    /* On a loopback-only host the own name keeps its loopback address. */
    ASSERT_STREQ("hosta.callmgr.test", getenv("CALLMGR_HOST_NAME"));
    EXPECT_EQ(Addrs{"127.0.1.1"}, lookup("HostA"));
}

TEST_F(Lookup, CancelledLookupsAndVanishedWindowsGetNoAnswerRepeatedNamesKeepTheirTurn)
{
    HANDLE cancelled = WSAAsyncGetHostByName(w, ANSWER, "peer", buf, sizeof buf);
    EXPECT_EQ(0, WSACancelAsyncRequest(cancelled));

    HWND doomed = make_window("LookupWnd");
    char doomed_buf[MAXGETHOSTSTRUCT];
    memset(doomed_buf, 0x55, sizeof doomed_buf);
    ASSERT_NE(nullptr,
              WSAAsyncGetHostByName(doomed, ANSWER, "peer", doomed_buf, sizeof doomed_buf));
    DestroyWindow(doomed);

    HANDLE last = WSAAsyncGetHostByName(w, ANSWER + 1, "localhost", buf, sizeof buf);
    wait_for(1);
    ASSERT_EQ(1u, answers().size()) << "only the last lookup is answered";
    EXPECT_EQ(ANSWER + 1, answers()[0].msg);
    EXPECT_EQ((WPARAM)last, answers()[0].wparam);
    for (char c : doomed_buf)
        ASSERT_EQ(0x55, (unsigned char)c) << "the buffer of a vanished window is never written";

    EXPECT_EQ(nullptr, WSAAsyncGetHostByName(w, ANSWER, nullptr, buf, sizeof buf));
    EXPECT_EQ(WSAEFAULT, WSAGetLastError());

    /* A name answered moments ago is answered again by a post, in request
     * order: behind a request the worker still has, the repeated name waits
     * its turn; neither is answered inside the call. */
    ASSERT_EQ((Addrs{"198.18.0.9"}), lookup("peer"));
    received().clear();
    char again[MAXGETHOSTSTRUCT];
    memset(again, 0x55, sizeof again);
    HANDLE unknown = WSAAsyncGetHostByName(w, ANSWER, "nosuch", buf, sizeof buf);
    HANDLE repeated = WSAAsyncGetHostByName(w, ANSWER, "peer", again, sizeof again);
    ASSERT_TRUE(unknown && repeated && unknown != repeated);
    EXPECT_EQ(0x55, (unsigned char)again[0]) << "nothing is written inside the call";
    wait_for(2);
    ASSERT_EQ(2u, answers().size());
    EXPECT_EQ((WPARAM)unknown, answers()[0].wparam);
    EXPECT_NE(0, WSAGETASYNCERROR(answers()[0].lparam));
    EXPECT_EQ((WPARAM)repeated, answers()[1].wparam);
    EXPECT_EQ(0, WSAGETASYNCERROR(answers()[1].lparam));
    EXPECT_STREQ("peer.callmgr.test", ((const hostent *)again)->h_name);

    /* Alone, it is posted at once: the entry is laid out only when the
     * message is retrieved, and a cancelled one never. */
    received().clear();
    memset(again, 0x55, sizeof again);
    cancelled = WSAAsyncGetHostByName(w, ANSWER, "peer", again, sizeof again);
    ASSERT_NE(nullptr, cancelled);
    EXPECT_EQ(0x55, (unsigned char)again[0]);
    EXPECT_EQ(0, WSACancelAsyncRequest(cancelled));
    ASSERT_EQ((Addrs{"198.18.0.9"}), lookup("peer"));
    EXPECT_EQ(1u, answers().size()) << "the cancelled one got no answer";
    for (char c : again)
        ASSERT_EQ(0x55, (unsigned char)c);
}

#else // CALLMGR_LOOKUP_PAIR

/* Gives the test's own host a name its hosts file maps to loopback alone. */
class OwnLoopbackName : public Lookup {
  protected:
    void SetUp() override
    {
        Lookup::SetUp();
        ASSERT_EQ(0, gethostname(saved, sizeof saved));
        ASSERT_EQ(0, sethostname(name, strlen(name)));
    }
    void TearDown() override
    {
        EXPECT_EQ(0, sethostname(saved, strlen(saved)));
        Lookup::TearDown();
    }
    const char *name = "loopself.callmgr.test";
    char saved[256] = {};
};

TEST_F(OwnLoopbackName, TheOwnNameAnswersWithThePrimaryAddress)
{
    EXPECT_EQ(Addrs{"198.18.0.1"}, lookup("loopself.callmgr.test"));
    const hostent *he = (const hostent *)buf;
    EXPECT_STREQ("loopself.callmgr.test", he->h_name) << "only the address changes";
    ASSERT_NE(nullptr, he->h_aliases[0]);
    EXPECT_STREQ("loopself", he->h_aliases[0]);
    EXPECT_EQ(Addrs{"198.18.0.1"}, lookup("LOOPSELF")) << "the short form, any case";

    /* Other names, loopback or not, are answered as they stand. */
    EXPECT_EQ(Addrs{"127.0.0.1"}, lookup("localhost"));
    EXPECT_EQ(Addrs{"198.18.0.2"}, lookup("hostb.callmgr.test"));

    /* A host whose name is a short one owns the longer names of it too. */
    ASSERT_EQ(0, sethostname("loopself", 8));
    EXPECT_EQ(Addrs{"198.18.0.1"}, lookup("LoopSelf.callmgr.test"));
}

TEST_F(Lookup, AnOwnNameWithAnAddressBeyondLoopbackIsAnsweredUnchanged)
{
    ASSERT_STREQ("hosta.callmgr.test", getenv("CALLMGR_HOST_NAME"));
    EXPECT_EQ((Addrs{"198.18.0.1", "127.0.1.1"}), lookup("hosta"));
    /* Another host's name that maps to loopback stays loopback. */
    EXPECT_EQ(Addrs{"127.0.1.1"}, lookup("loopself"));
}

#endif // CALLMGR_LOOKUP_PAIR

} // namespace
