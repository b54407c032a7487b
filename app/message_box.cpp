#include "app/message_box.h"

#include "qel_version.h"

const char kAppCaption[] = "Qel SMS/MMS Gateway Lite Edition (v" QEL_VERSION_TEXT ")";

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

std::string SystemErrorText(DWORD error)
{
    char text[500] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return text;
}
