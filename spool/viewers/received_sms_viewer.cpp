// The received SMS viewer: the messages in the received SMS store and its sub-directories,
// both those waiting to be processed and those stored.
#include <memory>
#include <string>

#include "app/config_files.h"
#include "spool/spool_files.h"
#include "spool/text_decoding.h"
#include "spool/viewers/queue_viewer.h"

namespace {

const ViewerColumn kColumns[] = {
    {"ID", 6}, {"Sender", 6}, {"Recipient", 6}, {"Receive Time", 6}, {"Status", 6}, {"Text", 1},
};

const ViewerDefinition kReceivedSmsViewer = {
    "Received SMS Messages",
    "Received SMS Messages:  ",
    "None",
    kColumns,
    6,
    -4, // receive time, newest first
    GetSMSInDirectory,
    ListReceivedSms,
    nullptr,
    nullptr,
};

ViewerState receivedSmsState(-4);

struct Walk {
    const char* pattern;
    const char* status;
};
const Walk kWalks[] = {{"*.IN", "Queued"}, {"*.REC", "Queued"}, {"*.SMS", "Received"}};

} // namespace

// Three walks of the store, one per kind of file; each prunes the sub-directories left empty.
// Every file found counts; a row is made for every file that opens, whatever it holds.
void ListReceivedSms(ViewerRows& rows, RowCache& cache)
{
    rows.rows.clear();
    rows.total = 0;
    char store[MAX_PATH];
    GetSMSInDirectory(store);

    auto record = std::make_unique<SpoolRecord>();
    std::unique_ptr<char[]> text(new char[kDisplayTextSize]);
    StoreWalker walker(PlatformStoreFileSystem());
    for (const Walk& walk : kWalks) {
        for (bool more = walker.First(store, walk.pattern); more; more = walker.Next()) {
            ++rows.total;
            if (rows.Full())
                continue;
            FileStamp stamp = StampOf(walker.File());
            if (TakeCachedRow(cache, rows, walker.Key(), stamp))
                continue;
            if (!ReadSpoolRecord((store + walker.Key()).c_str(), *record))
                continue;
            lstrcpynA(text.get(), record->text, static_cast<int>(kDisplayTextSize));
            DecodeMessageText(record->binary, record->dcs, record->udh, text.get(), kDisplayTextSize);
            char receiveTime[kDisplayTimeSize];
            FormatDisplayTime(walker.File().creationTime, receiveTime);
            ViewerRow row;
            row.texts = {walker.Key(), walker.FileName(), record->sender, record->recipient,
                         receiveTime,  walk.status,       text.get()};
            AddRow(cache, rows, std::move(row), stamp);
        }
    }
}

INT_PTR CALLBACK ReceivedSmsViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return QueueViewerProc(window, message, wParam, lParam, kReceivedSmsViewer, receivedSmsState);
}
