// The outbound MMS routes, VASPOUT.DAT in the program data directory.
//
// Every change re-reads the file, applies itself and puts the complete new content in
// place through a temporary file and an atomic rename (vasp_route_store.cpp). Changes are
// serialised across processes by a machine-wide mutex (store_file.h).
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/store_file.h"
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_route_store.h"

#include <string>

namespace {

const storefile::StoreNames kStore = {"VASPOUT.DAT", "VASPOUT.TMP", "QelMMSCRouteFile"};
const DWORD kLockTimeoutMs = 30000;

BOOL Commit(vasproute::Change change, const std::string& routeName)
{
    if (!IsUsableRouteName(routeName) || routeName.size() >= vasproute::kRecordSize) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return storefile::CommitUnderLock(GetProgramDataDirectory, kStore, kLockTimeoutMs, ERROR_INVALID_NAME,
                                      [&](storefile::StoreFile& files) {
                                          vasproute::RouteStore written;
                                          return vasproute::CommitRouteChange(files, change, routeName, written);
                                      });
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
