#include "modem/serial_port.h"

#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/ini_files.h"
#include "app/message_box.h"
#include "base/text.h"

SerialTiming& ModemSerialTiming()
{
    static SerialTiming timing;
    return timing;
}

namespace {

constexpr DWORD kShortestReadWaitMs = 50;

// One overlapped operation: a zeroed record with its own manual-reset event and the data
// buffer the operation reads into or writes from, allocated together. An operation still
// pending when it goes is cancelled and waited for once (at most the settle time), so the
// system never writes into a record or buffer, or signals an event, that has been released.
// A driver that does not end a cancelled operation in that time keeps record, buffer and
// event: they are left allocated rather than freed under it (never a stack frame).
class Overlapped {
public:
    Overlapped(HANDLE port, DWORD bufferSize) : port_(port), operation_(new Operation())
    {
        operation_->record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        operation_->data.assign(bufferSize ? bufferSize : 1, '\0');
    }
    ~Overlapped()
    {
        if (pending_ && !cancelled_)
            Cancel();
        if (pending_)
            return; // abandoned to the driver, see above
        if (operation_->record.hEvent)
            CloseHandle(operation_->record.hEvent);
        delete operation_;
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    OVERLAPPED* get() { return &operation_->record; }
    char* data() { return operation_->data.data(); }
    bool valid() const { return operation_->record.hEvent != nullptr; }
    void MarkPending() { pending_ = true; }

    // Waits up to the time for the operation, then takes its result without waiting.
    bool Finish(DWORD waitMs, DWORD& bytes)
    {
        WaitForSingleObject(operation_->record.hEvent, waitMs);
        bytes = 0;
        if (!GetOverlappedResult(port_, &operation_->record, &bytes, FALSE))
            return false;
        pending_ = false;
        return true;
    }

    // Cancels the operation and waits for it to end, once: a second call does not wait
    // again. False while it is still pending; once it has ended, bytes (when asked for) are
    // those it moved before the cancel.
    bool Cancel(DWORD* bytes = nullptr)
    {
        if (bytes)
            *bytes = 0;
        if (cancelled_)
            return !pending_;
        cancelled_ = true;
        CancelIo(port_);
        if (WaitForSingleObject(operation_->record.hEvent, ModemSerialTiming().cancelSettleMs) != WAIT_OBJECT_0)
            return false;
        DWORD done = 0;
        if (GetOverlappedResult(port_, &operation_->record, &done, FALSE) && bytes)
            *bytes = done;
        pending_ = false;
        return true;
    }

private:
    struct Operation {
        OVERLAPPED record = {};
        std::vector<char> data;
    };

    HANDLE port_;
    Operation* operation_;
    bool pending_ = false;
    bool cancelled_ = false;
};

// Writes one character; gives the bytes written (0 or 1) and false when the port failed.
bool WriteCharacter(HANDLE port, const char* character, DWORD& written, bool& stalled)
{
    Overlapped operation(port, 1);
    if (!operation.valid())
        return false;
    written = 0;
    operation.data()[0] = *character;
    if (WriteFile(port, operation.data(), 1, &written, operation.get()))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    operation.MarkPending();
    if (!operation.Finish(ModemSerialTiming().writeStallMs, written)) {
        operation.Cancel();
        return false;
    }
    if (written == 0) {
        ClearCommError(port, nullptr, nullptr);
        stalled = true;
    }
    return true;
}

bool HasFinalResult(const char* text)
{
    return strstr(text, "\nOK") || strstr(text, "\rOK") || strstr(text, "ERROR");
}

// One read behind what the buffer holds; false on a read error. bytes: what came.
bool ReadChunk(HANDLE port, char* at, DWORD room, DWORD waitMs, DWORD& bytes)
{
    Overlapped operation(port, room);
    if (!operation.valid())
        return false;
    bytes = 0;
    if (!ReadFile(port, operation.data(), room, &bytes, operation.get())) {
        DWORD error = GetLastError();
        if (error == ERROR_TIMEOUT)
            return true; // the opening profile's read ran out of time: nothing came
        if (error != ERROR_IO_PENDING)
            return false;
        operation.MarkPending();
        if (!operation.Finish(waitMs < kShortestReadWaitMs ? kShortestReadWaitMs : waitMs, bytes))
            operation.Cancel(&bytes);
    }
    if (bytes > room)
        bytes = room;
    memcpy(at, operation.data(), bytes);
    return true;
}

} // namespace

void ApplyModemTimeouts(HANDLE port, const TimeoutProfile& profile)
{
    const TimeoutProfile& chosen = ChosenTimeouts(SmsGatewayIni().Read("SMSGW", "OldModemTimeouts", 500), profile);
    COMMTIMEOUTS timeouts = {chosen.readInterval, chosen.readMultiplier, chosen.readConstant, chosen.writeMultiplier,
                             chosen.writeConstant};
    SetCommTimeouts(port, &timeouts);
}

bool SendModemText(HANDLE port, const char* text)
{
    const DWORD length = static_cast<DWORD>(strlen(text));
    DWORD sent = 0;
    bool ok = true;
    bool stalled = false;
    DWORD lastProgress = timeGetTime();
    while (ok && !stalled && sent < length && timeGetTime() - lastProgress < ModemSerialTiming().writeStallMs) {
        DWORD written = 0;
        ok = WriteCharacter(port, text + sent, written, stalled);
        if (ok && written == 0 && !stalled) {
            Sleep(2); // the port took nothing this time
            continue;
        }
        if (written) {
            lastProgress = timeGetTime();
            sent += written;
        }
    }
    return ok && sent == length;
}

DWORD ReadModemResponse(HANDLE port, char* buffer, DWORD size, unsigned seconds)
{
    memset(buffer, 0, size);
    DWORD count = 0;
    // A read lasts its seconds to the millisecond: each wait is for the time that is left,
    // so an answer without a final result code does not start a second full wait.
    const DWORD limit = seconds * 1000;
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed <= limit && count + 1 < size; elapsed = GetTickCount() - start) {
        DWORD bytes = 0;
        if (!ReadChunk(port, buffer + count, size - count - 1, limit - elapsed, bytes))
            return 0;
        if (bytes == 0) {
            Sleep(1);
            continue;
        }
        count += bytes;
        buffer[count] = '\0';
        if (HasFinalResult(buffer))
            break;
    }
    return count;
}

SerialAtPort::~SerialAtPort()
{
    if (owned_ && handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

bool SerialAtPort::Send(const std::string& text)
{
    return SendModemText(handle_, text.c_str());
}

AtAnswer SerialAtPort::Read(unsigned seconds)
{
    char buffer[kAnswerBufferSize];
    AtAnswer answer;
    answer.count = ReadModemResponse(handle_, buffer, sizeof buffer, seconds);
    answer.text = buffer;
    return answer;
}

bool SerialAtPort::SetSpeed(unsigned bitsPerSecond)
{
    DCB settings = {};
    settings.DCBlength = sizeof settings;
    GetCommState(handle_, &settings);
    char definition[64];
    snprintf(definition, sizeof definition, "baud=%u parity=N data=8 stop=1", bitsPerSecond);
    if (!BuildCommDCBA(definition, &settings))
        return false;
    SetCommState(handle_, &settings);
    return true;
}

void SerialAtPort::ApplyTimeouts(const TimeoutProfile& profile)
{
    ApplyModemTimeouts(handle_, profile);
}

OpenedPort ComPorts::Open(const std::string& name)
{
    OpenedPort opened;
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    HANDLE handle = CreateFileA(name.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (handle == INVALID_HANDLE_VALUE && StartsWithNoCase(name.data(), name.size(), "COM")) {
        // Ports above COM9 are reached through the device namespace.
        std::string device = "\\\\.\\" + name.substr(0, name.size() - 1);
        handle = CreateFileA(device.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            error = GetLastError();
    }
    if (handle == INVALID_HANDLE_VALUE) {
        opened.error = error;
        opened.errorText = SystemErrorText(error);
        return opened;
    }
    opened.port.reset(new SerialAtPort(handle, true));
    DCB settings = {};
    settings.DCBlength = sizeof settings;
    if (!SetupComm(handle, 1024, 1024))
        opened.stage = OpenedPort::SetupFailed;
    else if (!GetCommState(handle, &settings))
        opened.stage = OpenedPort::StateFailed;
    else
        opened.stage = OpenedPort::Ready;
    return opened;
}
