// The modem port's writer and reader over a named pipe whose other end the test controls:
// a peer that stops reading makes the one-character writes pend.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "modem/serial_port.h"

namespace {

// A pipe that takes one byte towards the peer (4 KiB back): the port end is opened for
// overlapped I/O as a COM port is.
struct StallingPeer {
    HANDLE peer = INVALID_HANDLE_VALUE;
    HANDLE port = INVALID_HANDLE_VALUE;

    StallingPeer()
    {
        std::string name = "\\\\.\\pipe\\qel-modem-port-" + std::to_string(GetCurrentProcessId());
        peer = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 1, 0, nullptr);
        port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
    }
    ~StallingPeer()
    {
        CloseHandle(port);
        CloseHandle(peer);
    }
    std::string Drain()
    {
        std::string got;
        DWORD waiting = 0;
        while (PeekNamedPipe(peer, nullptr, 0, nullptr, &waiting, nullptr) && waiting) {
            char buffer[256];
            DWORD read = 0;
            if (!ReadFile(peer, buffer, sizeof buffer, &read, nullptr) || read == 0)
                break;
            got.append(buffer, read);
        }
        return got;
    }
    void Answer(const char* text)
    {
        DWORD written = 0;
        WriteFile(peer, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    }
};

struct ShortWaits {
    SerialTiming saved = ModemSerialTiming();
    ShortWaits()
    {
        ModemSerialTiming().writeStallMs = 300;
        ModemSerialTiming().cancelSettleMs = 300;
    }
    ~ShortWaits() { ModemSerialTiming() = saved; }
};

TEST(ModemSerialPort, AStalledWriteFailsWithinItsWaits)
{
    ShortWaits waits;
    StallingPeer pipe;
    ASSERT_NE(pipe.port, INVALID_HANDLE_VALUE);
    const std::string command = "AT+CSMS=0\r";
    DWORD start = GetTickCount();
    EXPECT_FALSE(SendModemText(pipe.port, command.c_str()));
    // One stall wait and at most one cancel wait (300 + 300 ms), never a second cancel wait;
    // and the stall is waited for, not taken for a failure at once.
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 850u);
    EXPECT_GE(took, 280u);

    // What arrived is a beginning of the command (with the stalled character, when the
    // peer's reading lets an operation that was not cancelled in time end after all).
    std::string arrived = pipe.Drain();
    Sleep(300);
    arrived += pipe.Drain();
    EXPECT_LT(arrived.size(), command.size());
    EXPECT_EQ(command.compare(0, arrived.size(), arrived), 0) << arrived;
    EXPECT_TRUE(SendModemText(pipe.port, "")); // nothing to send is success
}

TEST(ModemSerialPort, ReadsEndAtAFinalResultCodeOrAFullBuffer)
{
    StallingPeer pipe;
    char buffer[16];
    pipe.Answer("\r\nOK\r\n");
    EXPECT_EQ(ReadModemResponse(pipe.port, buffer, sizeof buffer, 5), 6u);
    EXPECT_STREQ(buffer, "\r\nOK\r\n");

    pipe.Answer("+CMS ERROR: 330\r\n");
    DWORD count = ReadModemResponse(pipe.port, buffer, sizeof buffer, 5);
    EXPECT_EQ(count, 15u); // the buffer is full, and still terminated inside it
    EXPECT_EQ(buffer[15], '\0');
    pipe.Drain();
}

} // namespace
