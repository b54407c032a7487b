// Test helper: rewrites the "writer" account through GWCORE.DLL as fast as it can, each
// write with the next counter value, until it is killed (or 20 s have passed). Signals the
// event named on its command line after its first write.
//   userfile_writer.exe <event name>
#include "gateway/gwcore/gwcore.h"
#include "tests/windows/helpers/userfile_writer.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    SMSUSERFILE file;
    if (!SMSOpenUserFile(&file, GENERIC_READ | GENERIC_WRITE))
        return 3;
    UserRecord current;
    long n = SMSFindUserRecord(file, kWriterUserName, &current) ? WriterCounter(current) : 0;
    if (n < 0)
        return 4;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        UserRecord next = WriterRecord(static_cast<unsigned>(++n));
        if (!SMSAddUser(file, &next))
            return 5;
        if (ready) {
            SetEvent(ready);
            CloseHandle(ready);
            ready = nullptr;
        }
    }
    SMSCloseUserFile(file);
    return 0;
}
