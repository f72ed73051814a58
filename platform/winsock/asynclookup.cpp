/*
 * WSAAsyncGetHostByName: the name is looked up on a worker thread through
 * the system resolver (hosts file, DNS), and the answer is posted to the
 * asking window.  The worker never writes into the caller's buffer: the host
 * entry is laid out there on the window's own thread when the message is
 * retrieved, and not at all if the window is gone or the request was
 * cancelled by then, so a buffer freed with its window is never written.
 *
 * A name answered within the last ANSWER_KEEP_MS is answered again from that
 * answer, without the worker: looking the same peer up for call after call
 * would otherwise cost a round trip through the worker and a read of the
 * hosts file each time.  The answer is still posted, never given inside the
 * call, and only while the worker has nothing queued or in hand, so answers
 * keep the order their requests came in.  Failures are not kept.
 *
 * gethostbyname answers from the same lookup, in a host entry of the calling
 * thread that its next call overwrites.
 *
 * The local host: many systems map their own name to a loopback address in
 * the hosts file (127.0.1.1 is a common choice).  A peer told that address
 * would send its answers back to itself, so a lookup of this host's own name
 * that finds only loopback addresses answers with the host's primary IPv4
 * address instead, as Windows does.
 */
#include <winsock.h>

#include "user/queue.h"
#include "winsock/wsock.h"
#include "kernel/clock.h"
#include "kernel/fault.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <ifaddrs.h>
#include <net/if.h>
#include <strings.h>
#include <unistd.h>

namespace pal {
namespace {

struct Answer {
    int error = 0;
    std::string name;
    std::vector<std::string> aliases;
    std::vector<uint32_t> addrs; /* network byte order */
};

struct Request {
    uintptr_t task;
    HWND hwnd;
    UINT msg;
    std::string name;
    char *buf;
    int buflen;
};

int h_errno_to_wsa(int herr)
{
    switch (herr) {
    case HOST_NOT_FOUND:
        return WSAHOST_NOT_FOUND;
    case TRY_AGAIN:
        return WSATRY_AGAIN;
    case NO_RECOVERY:
        return WSANO_RECOVERY;
    case NO_DATA:
        return WSANO_DATA;
    default:
        return WSANO_RECOVERY;
    }
}

bool is_loopback(uint32_t addr /* network byte order */)
{
    return (ntohl(addr) >> 24) == 127;
}

std::string short_form(const std::string &name)
{
    return name.substr(0, name.find('.'));
}

/* Whether `name` is this host's own name: the name gethostname gives, or its
 * short form, or -- when the host's name is a short one -- a longer name
 * whose short form it is.  Letter case does not matter. */
bool names_this_host(const std::string &name)
{
    char own[256];
    if (name.empty() || ::gethostname(own, sizeof own) != 0)
        return false;
    own[sizeof own - 1] = 0;
    std::string host = own;
    if (host.empty())
        return false;
    std::string host_short = short_form(host);
    if (strcasecmp(name.c_str(), host.c_str()) == 0)
        return true;
    if (!host_short.empty() && strcasecmp(name.c_str(), host_short.c_str()) == 0)
        return true;
    return host_short == host && strcasecmp(short_form(name).c_str(), host.c_str()) == 0;
}

/* The host's primary IPv4 address (network byte order): that of the first
 * interface that is up and not a loopback one. */
bool primary_address(uint32_t *addr)
{
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (struct ifaddrs *i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        uint32_t v;
        std::memcpy(&v, &((const struct sockaddr_in *)i->ifa_addr)->sin_addr, 4);
        if (is_loopback(v))
            continue;
        *addr = v;
        found = true;
    }
    freeifaddrs(list);
    return found;
}

/* Replaces an all-loopback answer for this host's own name with the
 * primary address; with no such address the loopback answer stands. */
void answer_local_host(const std::string &name, Answer &a)
{
    if (a.error || a.addrs.empty())
        return;
    for (uint32_t v : a.addrs)
        if (!is_loopback(v))
            return;
    uint32_t primary;
    if (!names_this_host(name) || !primary_address(&primary))
        return;
    a.addrs.assign(1, primary);
}

Answer resolve(const std::string &name)
{
    Answer a;
    struct hostent he, *result = nullptr;
    std::vector<char> work(2048);
    int herr = 0;
    for (;;) {
        int rc = gethostbyname_r(name.c_str(), &he, work.data(), work.size(), &result, &herr);
        if (rc == ERANGE && work.size() < 65536) {
            work.resize(work.size() * 2);
            continue;
        }
        break;
    }
    if (!result || result->h_addrtype != AF_INET || result->h_length != 4) {
        a.error = result ? WSANO_DATA : h_errno_to_wsa(herr);
        return a;
    }
    a.name = result->h_name ? result->h_name : name;
    for (char **p = result->h_aliases; p && *p; ++p)
        a.aliases.push_back(*p);
    for (char **p = result->h_addr_list; p && *p; ++p) {
        uint32_t v;
        std::memcpy(&v, *p, 4);
        a.addrs.push_back(v);
    }
    answer_local_host(name, a);
    return a;
}

/* Lays the entry out in the buffer: the hostent, the alias and address
 * pointer arrays, the addresses, then the texts.  Returns the size it needs;
 * nothing is written when that is more than the buffer holds. */
size_t lay_out(const Answer &a, char *buf, size_t buflen)
{
    auto align = [](size_t n) { return (n + 7) & ~(size_t)7; };
    size_t need = align(sizeof(struct hostent));
    size_t aliases_at = need;
    need += (a.aliases.size() + 1) * sizeof(char *);
    size_t list_at = need;
    need += (a.addrs.size() + 1) * sizeof(char *);
    size_t addrs_at = need;
    need += a.addrs.size() * 4;
    size_t texts_at = need;
    need += a.name.size() + 1;
    for (const std::string &s : a.aliases)
        need += s.size() + 1;
    if (need > buflen)
        return need;

    std::memset(buf, 0, need);
    struct hostent *he = (struct hostent *)buf;
    char **aliases = (char **)(buf + aliases_at);
    char **list = (char **)(buf + list_at);
    char *text = buf + texts_at;
    auto put = [&text](const std::string &s) {
        char *at = text;
        std::memcpy(at, s.c_str(), s.size() + 1);
        text += s.size() + 1;
        return at;
    };
    he->h_name = put(a.name);
    for (size_t i = 0; i < a.aliases.size(); ++i)
        aliases[i] = put(a.aliases[i]);
    for (size_t i = 0; i < a.addrs.size(); ++i) {
        list[i] = buf + addrs_at + 4 * i;
        std::memcpy(list[i], &a.addrs[i], 4);
    }
    he->h_aliases = aliases;
    he->h_addr_list = list;
    he->h_addrtype = AF_INET;
    he->h_length = 4;
    return need;
}

/* How long a name's answer is given again without asking the system, and
 * how many names are kept. */
const DWORD ANSWER_KEEP_MS = 1000;
const size_t ANSWERS_KEPT = 64;

struct KeptAnswer {
    Answer answer;
    DWORD at;
};

/* Posts `a` as the answer of request `r`: the entry is laid out in the
 * caller's buffer when the message is retrieved, if the task is still live
 * then (`finish` says so). */
template <typename Finish> bool post_answer(const Request &r, const Answer &a, Finish finish)
{
    return post_to_window(r.hwnd, r.msg, (WPARAM)r.task, 0, [r, a, finish](MSG &m) {
        if (!finish(r.task))
            return false;
        int err = a.error;
        size_t len = 0;
        if (!err) {
            len = lay_out(a, r.buf, (size_t)r.buflen);
            if (len > (size_t)r.buflen)
                err = WSAENOBUFS;
        }
        m.lParam = WSAMAKEASYNCREPLY(len > 0xFFFF ? 0xFFFF : len, err);
        return true;
    });
}

/* One worker thread serves the lookups in order; it lives until the
 * process ends. */
class Resolver {
  public:
    ~Resolver()
    {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stop_ = true;
        }
        cv_.notify_all();
        if (worker_.joinable())
            worker_.join();
    }

    uintptr_t submit(Request r)
    {
        std::lock_guard<std::mutex> lock(mu_);
        r.task = next_task_++;
        if (next_task_ == 0)
            next_task_ = 1;
        live_.insert(r.task);
        if (!working_ && pending_.empty() && answer_kept(r.name, &r)) {
            /* Nothing of the worker's can come before it: posted now, under
             * the lock, it keeps its place. */
            return r.task;
        }
        pending_.push_back(r);
        if (!worker_.joinable())
            worker_ = std::thread([this] { run(); });
        cv_.notify_all();
        return r.task;
    }

    bool cancel(uintptr_t task)
    {
        std::lock_guard<std::mutex> lock(mu_);
        return live_.erase(task) > 0;
    }

    void cancel_all()
    {
        std::lock_guard<std::mutex> lock(mu_);
        live_.clear();
        pending_.clear();
        kept_.clear();
    }

    /* True (and the task is over) when the task was still live. */
    bool finish(uintptr_t task)
    {
        std::lock_guard<std::mutex> lock(mu_);
        return live_.erase(task) > 0;
    }

  private:
    void run()
    {
        for (;;) {
            Request r;
            {
                std::unique_lock<std::mutex> lock(mu_);
                cv_.wait(lock, [this] { return stop_ || !pending_.empty(); });
                if (stop_)
                    return;
                r = pending_.front();
                pending_.pop_front();
                if (!live_.count(r.task))
                    continue;
                working_ = true;
            }
            Answer a = resolve(r.name);
            if (!a.error)
                keep(r.name, a);
            bool posted = post_answer(r, a, [this](uintptr_t task) { return finish(task); });
            if (!posted)
                finish(r.task);
            std::lock_guard<std::mutex> lock(mu_);
            working_ = false;
        }
    }

    void keep(const std::string &name, const Answer &a)
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (kept_.size() >= ANSWERS_KEPT && !kept_.count(name))
            kept_.erase(kept_.begin());
        kept_[name] = KeptAnswer{a, clock_now()};
    }

    /* Posts the kept answer for `name` as `r`'s, when there is a fresh one;
     * false when the worker must ask.  Called with the lock held. */
    bool answer_kept(const std::string &name, Request *r)
    {
        auto it = kept_.find(name);
        if (it == kept_.end())
            return false;
        if (clock_now() - it->second.at >= ANSWER_KEEP_MS) {
            kept_.erase(it);
            return false;
        }
        /* Its retrieval finishes the task later, on the window's thread; a
         * window that is gone gets nothing, as from the worker. */
        if (!post_answer(*r, it->second.answer, [this](uintptr_t task) { return finish(task); }))
            live_.erase(r->task);
        return true;
    }

    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Request> pending_;
    std::set<uintptr_t> live_;
    uintptr_t next_task_ = 1;
    /* The worker has a request in hand, from taking it to posting its
     * answer. */
    bool working_ = false;
    std::map<std::string, KeptAnswer> kept_;
    bool stop_ = false;
    std::thread worker_;
};

Resolver &resolver()
{
    static Resolver r;
    return r;
}

} // namespace

void async_cancel_all()
{
    resolver().cancel_all();
}

struct hostent *PASCAL ws_gethostbyname(const char *name)
{
    if (!wsa_started()) {
        wsa_set(WSANOTINITIALISED);
        return nullptr;
    }
    /* No name, or an empty one, asks for this host. */
    std::string wanted;
    if (name && *name) {
        wanted = name;
    } else {
        char own[256];
        if (::gethostname(own, sizeof own) != 0) {
            wsa_set(wsa_error_from_errno(errno));
            return nullptr;
        }
        own[sizeof own - 1] = 0;
        wanted = own;
    }
    Answer a = resolve(wanted);
    if (a.error) {
        wsa_set(a.error);
        return nullptr;
    }
    /* One entry per thread, as on Windows: the next call overwrites it. */
    thread_local std::vector<char> entry(MAXGETHOSTSTRUCT);
    size_t need = lay_out(a, entry.data(), entry.size());
    if (need > entry.size()) {
        entry.assign(need, 0);
        lay_out(a, entry.data(), entry.size());
    }
    return (struct hostent *)entry.data();
}

} // namespace pal

using namespace pal;

extern "C" {

HANDLE PASCAL WSAAsyncGetHostByName(HWND hwnd, unsigned int msg, const char *name, char *buf,
                                    int buflen)
{
    if (!wsa_started()) {
        wsa_set(WSANOTINITIALISED);
        return nullptr;
    }
    int err = WSAENOBUFS;
    if (fault_hit(PAL_FAULT_ASYNCLOOKUP, &err)) {
        wsa_set(err);
        return nullptr;
    }
    if (!name || !buf || buflen <= 0) {
        wsa_set(WSAEFAULT);
        return nullptr;
    }
    return (HANDLE)resolver().submit(Request{0, hwnd, msg, name, buf, buflen});
}

int PASCAL WSACancelAsyncRequest(HANDLE task)
{
    if (!wsa_started()) {
        wsa_set(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    if (!resolver().cancel((uintptr_t)task)) {
        wsa_set(WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

} // extern "C"
