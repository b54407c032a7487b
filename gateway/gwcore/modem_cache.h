// The phone modems found on the network: a list that only grows, read without a lock.
// Portable: no windows.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "gateway/gwcore/host_address.h"

// One phone modem. The name comes first and the link to the next entry sits at byte 116
// (in the 32-bit library), where callers of QelsmsModemCacheHead find them. An entry is
// written in full before it is linked and is never changed or freed afterwards.
struct ModemCacheEntry {
    char name[116];                     // a plain name (IsPlainModemName), NUL-terminated
    std::atomic<ModemCacheEntry*> next; // null at the end of the list
    char host[64];                      // IPv4 or IPv6 literal, without brackets
    int port;

    // The entry after this one, or null; safe while another thread appends.
    const ModemCacheEntry* Next() const { return next.load(std::memory_order_acquire); }
};

static_assert(sizeof(std::atomic<ModemCacheEntry*>) == sizeof(ModemCacheEntry*), "the link reads as a plain pointer");
static_assert(sizeof(void*) != 4 || offsetof(ModemCacheEntry, next) == 116, "callers find the link at byte 116");

class ModemCache {
public:
    ModemCache() = default;
    ModemCache(const ModemCache&) = delete;
    ModemCache& operator=(const ModemCache&) = delete;
    ~ModemCache();

    // Appends a phone modem unless one of the same name (without regard to case) is there
    // already, the name is not plain, the address does not fit or the cache is full
    // (kMaxEntries). True when it was added. Writers may run on several threads.
    bool Add(const std::string& name, const std::string& host, int port);

    // The first entry, or null; walk on with Next(). Safe while another thread appends.
    const ModemCacheEntry* Head() const { return head_.load(std::memory_order_acquire); }
    // The entry of that name, compared without regard to case, or null.
    const ModemCacheEntry* Find(const std::string& name) const;
    size_t Count() const;

    // Names that arrive from the network cannot fill memory without end.
    static constexpr size_t kMaxEntries = 1000;

private:
    std::mutex writers_;
    std::atomic<ModemCacheEntry*> head_{nullptr};
    ModemCacheEntry* tail_ = nullptr;
    size_t count_ = 0;
};

// The library's one cache, shared by every search and connection of the process. Never
// destroyed: other threads may still be walking it while the process ends.
ModemCache& DiscoveredModems();

// What a host text handed to IPV6ConnectToINetServer with port 0 says about phone modems:
// "qelsmsmodem_<name>" (prefix in any case) names a cache entry, whose address it takes;
// "qelsmsmodem_<host:port>" (10.0.0.200:8990, [fe80::1]:8990) is a typed address.
enum class ModemReference {
    None,       // not such a text: an ordinary host
    Resolved,   // out holds the address to connect to
    Unresolved, // such a text, but no cache entry of that name and no address with a port
};
ModemReference ResolveModemReference(const std::string& hostText, int port, const ModemCache& cache, HostAddress& out);
