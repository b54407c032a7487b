// The "Configure MM7 or PHP Receiver" dialog: the outbound MM7 connection "qelsmslitemm7"
// that the 2-Way page routes received MMS to.
#pragma once

#include <windows.h>

// Opens the modal dialog (DIALOG_MM7). True when it closed with OK, its settings then saved
// to VASPOUT\qelsmslitemm7\VASP.INI; false for Cancel.
bool OpenMm7Settings(HWND owner);

// How long the connection check waits for each step of the server's TLS handshake (the
// socket's send and receive time-outs) before it gives up.
struct Mm7CheckTiming {
    DWORD handshakeTimeoutMs = 30000;
};
Mm7CheckTiming& Mm7ConnectionTiming();
