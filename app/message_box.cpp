#include "app/message_box.h"

const char kAppCaption[] = "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)";

int ShowMessageCaption(HWND owner, const char* text, const char* caption, UINT flags)
{
    return MessageBoxA(owner, text, caption, flags);
}

int ShowMessage(HWND owner, const char* text, UINT flags)
{
    return ShowMessageCaption(owner, text, kAppCaption, flags);
}

int ShowServiceMessage(const char* text, UINT flags)
{
    return ShowMessage(nullptr, text, flags | MB_SETFOREGROUND);
}
