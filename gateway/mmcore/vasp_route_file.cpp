// The outbound MMS routes, VASPOUT.DAT in the program data directory.
//
// Every change re-reads the file, applies itself and puts the complete new content in
// place through a temporary file and an atomic rename (vasp_route_store.cpp). Changes are
// serialised across processes by a machine-wide mutex (data_file.cpp).
#include "gateway/mmcore/data_file.h"
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_route_store.h"

#include <cstring>
#include <string>

namespace {

const char kFileName[] = "VASPOUT.DAT";
const char kTempName[] = "VASPOUT.TMP";
const char kGlobalMutexName[] = "Global\\QelMMSCRouteFile";
const char kLocalMutexName[] = "QelMMSCRouteFile";

BOOL Commit(vasproute::Change change, const std::string& routeName)
{
    if (!vasproute::IsPlainRouteName(routeName) || routeName.size() >= vasproute::kRecordSize) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    mmcore::DataFile files;
    if (!files.Init(kFileName, kTempName))
        return FALSE;
    mmcore::DataFileLock lock(kGlobalMutexName, kLocalMutexName);
    if (!lock.Held())
        return FALSE;
    vasproute::RouteStore written;
    switch (vasproute::CommitRouteChange(files, change, routeName, written)) {
    case vasproute::CommitResult::kOk:
        return TRUE;
    case vasproute::CommitResult::kRejected:
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    case vasproute::CommitResult::kTooLarge:
        SetLastError(ERROR_FILE_TOO_LARGE);
        return FALSE;
    case vasproute::CommitResult::kCorrupt:
        SetLastError(ERROR_FILE_CORRUPT);
        return FALSE;
    case vasproute::CommitResult::kReadFailed:
    case vasproute::CommitResult::kWriteFailed:
        break;
    }
    SetLastError(files.Error() ? files.Error() : ERROR_WRITE_FAULT);
    return FALSE;
}

} // namespace

BOOL WINAPI VASPOutAddUser(const void* block)
{
    std::string routeName;
    if (!block || !vasproute::RouteNameOfBlock(block, routeName)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return Commit(vasproute::Change::kAddOrReplace, routeName);
}

BOOL WINAPI VASPOutDeleteUser(LPCSTR routeName)
{
    if (!routeName) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return Commit(vasproute::Change::kRemove, routeName);
}
