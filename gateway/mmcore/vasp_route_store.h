// The MMSC's outbound MMS routes (VASPOUT.DAT): the file's format, the route name rules and
// the commit sequence, which is USERS.DAT's (gateway/gwcore/user_store.h): the whole new
// content goes to a temporary file that then replaces the store in one atomic step.
// No windows.h here: the Win32 side (vasp_route_file.cpp) supplies the file operations.
//
// VASPOUT.DAT layout, all numbers little-endian:
//   offset  0  8 bytes  magic "QELVASPO"
//   offset  8  u32      format version (1)
//   offset 12  u32      header size (32)
//   offset 16  u32      record size (511)
//   offset 20  u32      record count
//   offset 24  u32      generation, incremented by every write
//   offset 28  u32      CRC-32 of bytes 0..27 followed by all records
//   offset 32           the records: each a route's block, its name NUL-terminated at the
//                       start, zero after it
// Every stored name is plain (IsUsableRouteName) and no two are equal without regard to case.
#pragma once

#include "base/names.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gateway/gwcore/user_store.h"

namespace vasproute {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'V', 'A', 'S', 'P', 'O'};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderSize = 32;
// The block VASPOutAddUser takes, stored as it is.
constexpr size_t kRecordSize = 511;
// The largest store read or written (about 130,000 routes).
constexpr size_t kLargestFile = 64u * 1024 * 1024;

// A route name names files and folders of the MMSC and an INI section: the rule of
// IsUsableRouteName (base/names.h) says which.

// The route name at the start of a block of kRecordSize bytes; false when the block holds
// no terminator or the name is not plain.
bool RouteNameOfBlock(const void* block, std::string& name);

class RouteStore {
public:
    const std::vector<std::string>& Names() const { return names_; }
    // Index of the route, compared without regard to case, or -1.
    int Find(const std::string& name) const;
    // Replaces a route of the same name (taking the new spelling) or appends it.
    // False (store unchanged) for a name that is not plain.
    bool AddOrReplace(const std::string& name);
    // False when there is no such route.
    bool Remove(const std::string& name);

    // The version this store was read as, or will be written as.
    userstore::FileStamp stamp;

private:
    friend bool ParseRouteFile(const uint8_t* data, size_t size, RouteStore& out);
    std::vector<std::string> names_;
};

// Any failed check (size, magic, version, sizes, count, checksum, an unterminated or
// not plain name, a duplicate) gives false and leaves out alone.
bool ParseRouteFile(const uint8_t* data, size_t size, RouteStore& out);
std::vector<uint8_t> SerializeRouteFile(const RouteStore& store);

// Reads the store through the file operations USERS.DAT uses (userstore::UserFileSystem,
// here on VASPOUT.DAT and its temporary file). A missing file is an empty store.
userstore::LoadResult LoadRouteFile(userstore::UserFileSystem& files, RouteStore& out);

enum class Change { kAddOrReplace, kRemove };
// kRejected: a name that is not plain. Removing an absent route is kOk and writes nothing.
using userstore::CommitResult;

// Re-reads the store, applies one change, and writes the new store through the temporary
// file. The caller serialises writers. On kOk, out holds the store as it now is.
CommitResult CommitRouteChange(userstore::UserFileSystem& files, Change change, const std::string& name,
                               RouteStore& out);

} // namespace vasproute
