#include "gateway/gwcore/modem_cache.h"

#include <cstring>

#include "base/text.h"
#include "gateway/gwcore/dns_sd.h"

namespace {

const char kModemPrefix[] = "qelsmsmodem_";

} // namespace

ModemCache::~ModemCache()
{
    const ModemCacheEntry* entry = Head();
    while (entry) {
        const ModemCacheEntry* next = entry->Next();
        delete entry;
        entry = next;
    }
}

bool ModemCache::Add(const std::string& name, const std::string& host, int port)
{
    if (!IsPlainModemName(name) || name.size() >= sizeof ModemCacheEntry::name || host.empty() ||
        host.size() >= sizeof ModemCacheEntry::host || port < 1 || port > 65535)
        return false;
    std::lock_guard<std::mutex> guard(writers_);
    if (count_ >= kMaxEntries || Find(name))
        return false;

    ModemCacheEntry* entry = new ModemCacheEntry();
    strcpy(entry->name, name.c_str());
    strcpy(entry->host, host.c_str());
    entry->port = port;
    entry->next.store(nullptr, std::memory_order_relaxed);
    // Publishing: the release store makes the entry's content visible before the link.
    if (tail_)
        tail_->next.store(entry, std::memory_order_release);
    else
        head_.store(entry, std::memory_order_release);
    tail_ = entry;
    ++count_;
    return true;
}

const ModemCacheEntry* ModemCache::Find(const std::string& name) const
{
    for (const ModemCacheEntry* entry = Head(); entry; entry = entry->Next()) {
        if (CompareNoCase(entry->name, name.c_str()) == 0)
            return entry;
    }
    return nullptr;
}

size_t ModemCache::Count() const
{
    size_t count = 0;
    for (const ModemCacheEntry* entry = Head(); entry; entry = entry->Next())
        ++count;
    return count;
}

ModemCache& DiscoveredModems()
{
    static ModemCache* const cache = new ModemCache;
    return *cache;
}

ModemReference ResolveModemReference(const std::string& hostText, int port, const ModemCache& cache, HostAddress& out)
{
    const size_t prefixLength = sizeof kModemPrefix - 1;
    if (port != 0 || !StartsWithNoCase(hostText.c_str(), hostText.size(), kModemPrefix))
        return ModemReference::None;
    const std::string rest = hostText.substr(prefixLength);
    if (const ModemCacheEntry* entry = cache.Find(rest)) {
        out.host = entry->host;
        out.port = entry->port;
        return ModemReference::Resolved;
    }
    HostAddress typed;
    if (ParseHostAddress(rest, 0, typed) && typed.port != 0) {
        out = typed;
        return ModemReference::Resolved;
    }
    return ModemReference::Unresolved;
}
