// WSAAsyncGetHostByName on an isolated host: the answer is a posted message
// with the task handle, the host entry is laid out in the caller's buffer,
// and errors, short buffers, cancellation and vanished windows behave as on
// Windows.
#include "support/recorder.h"

#include <winsock.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

const UINT ANSWER = WM_USER + 3;

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
    static std::vector<Received> answers()
    {
        std::vector<Received> out;
        for (const Received &r : received())
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
    HWND w = nullptr;
    char buf[MAXGETHOSTSTRUCT];
};

TEST_F(Lookup, TheHostEntryIsLaidOutInTheCallersBuffer)
{
    memset(buf, 0x55, sizeof buf);
    HANDLE task = WSAAsyncGetHostByName(w, ANSWER, "peer", buf, sizeof buf);
    ASSERT_NE(nullptr, task);
    wait_for(1);
    ASSERT_EQ(1u, received().size());
    EXPECT_EQ(ANSWER, received()[0].msg);
    EXPECT_EQ((WPARAM)task, received()[0].wparam);
    EXPECT_EQ(0, WSAGETASYNCERROR(received()[0].lparam));
    int used = WSAGETASYNCBUFLEN(received()[0].lparam);
    EXPECT_GT(used, (int)sizeof(hostent));
    EXPECT_LE(used, (int)sizeof buf);

    const hostent *he = (const hostent *)buf;
    EXPECT_STREQ("peer.callmgr.test", he->h_name);
    EXPECT_EQ(AF_INET, he->h_addrtype);
    EXPECT_EQ(4, he->h_length);
    ASSERT_NE(nullptr, he->h_addr_list[0]);
    EXPECT_EQ(0, memcmp("\xC6\x12\x00\x09", he->h_addr_list[0], 4));
    EXPECT_EQ(nullptr, he->h_addr_list[1]);
    ASSERT_NE(nullptr, he->h_aliases[0]);
    EXPECT_STREQ("peer", he->h_aliases[0]);
    const char *parts[] = {he->h_name, he->h_addr_list[0], (const char *)he->h_aliases};
    for (const char *p : parts)
        EXPECT_TRUE(p >= buf && p < buf + used) << "everything lies inside the buffer";
    EXPECT_EQ(0x55, (unsigned char)buf[used]) << "nothing written past what it reports";
}

TEST_F(Lookup, ErrorsAndShortBuffersComeInTheHighAndLowWords)
{
    HANDLE unknown = WSAAsyncGetHostByName(w, ANSWER, "nobody.callmgr.test", buf, sizeof buf);
    char small[40];
    memset(small, 0x55, sizeof small);
    HANDLE cramped = WSAAsyncGetHostByName(w, ANSWER, "peer.callmgr.test", small, sizeof small);
    ASSERT_NE(nullptr, unknown);
    ASSERT_NE(nullptr, cramped);
    EXPECT_NE(unknown, cramped);
    wait_for(2);
    ASSERT_EQ(2u, received().size());
    EXPECT_EQ((WPARAM)unknown, received()[0].wparam) << "answers come in the order asked";
    EXPECT_EQ(WSAHOST_NOT_FOUND, WSAGETASYNCERROR(received()[0].lparam));
    EXPECT_EQ(WSAENOBUFS, WSAGETASYNCERROR(received()[1].lparam));
    EXPECT_GT(WSAGETASYNCBUFLEN(received()[1].lparam), (int)sizeof small) << "the size needed";
    for (char c : small)
        EXPECT_EQ(0x55, (unsigned char)c) << "a short buffer is left alone";
}

TEST_F(Lookup, CancelledLookupsAndVanishedWindowsGetNoAnswer)
{
    HANDLE cancelled = WSAAsyncGetHostByName(w, ANSWER, "peer", buf, sizeof buf);
    EXPECT_EQ(0, WSACancelAsyncRequest(cancelled));
    EXPECT_EQ(SOCKET_ERROR, WSACancelAsyncRequest(cancelled));
    EXPECT_EQ(WSAEINVAL, WSAGetLastError());

    HWND doomed = make_window("LookupWnd");
    char doomed_buf[MAXGETHOSTSTRUCT];
    memset(doomed_buf, 0x55, sizeof doomed_buf);
    ASSERT_NE(nullptr, WSAAsyncGetHostByName(doomed, ANSWER, "peer", doomed_buf, sizeof doomed_buf));
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
}

} // namespace
