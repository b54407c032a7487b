// qauto_target: a small window program the end-to-end tests drive with qauto, so the rig is
// proven on something known before it meets the real program.
//
//   qauto_target box CAPTION TEXT FLAGS   shows MessageBoxA(NULL, TEXT, CAPTION, FLAGS) and
//                                         exits with the id of the button pressed
//   qauto_target form TITLE               a window with an edit (id 100), an "&Apply" button
//                                         (id 101) that copies the edit's text into the
//                                         title, and a disabled "&Later" button (id 102);
//                                         exits 0 when closed
//   qauto_target mapping NAME SIZE MS     creates a zeroed named file mapping, keeps it for MS
//                                         milliseconds, exits with the value of its first byte

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

const int kEditId = 100;
const int kApplyId = 101;
const int kLaterId = 102;

int editChanges = 0;

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_CHANGE)
            ++editChanges;
        if (LOWORD(wParam) == kApplyId && HIWORD(wParam) == BN_CLICKED) {
            char text[256] = "";
            GetDlgItemTextA(hwnd, kEditId, text, sizeof text);
            char title[300];
            wsprintfA(title, "%s (%d)", text, editChanges > 0 ? 1 : 0);
            SetWindowTextA(hwnd, title);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

int RunForm(const char* title)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FormProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "QautoTargetForm";
    RegisterClassA(&wc);
    HWND form = CreateWindowA(wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 150, nullptr,
                              nullptr, wc.hInstance, nullptr);
    if (!form)
        return 3;
    auto child = [&](const char* cls, const char* text, DWORD style, int id, int y) {
        return CreateWindowA(cls, text, WS_CHILD | WS_VISIBLE | style, 10, y, 200, 22, form,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
    };
    child("Edit", "", WS_BORDER | ES_AUTOHSCROLL, kEditId, 10);
    child("Button", "&Apply", BS_PUSHBUTTON, kApplyId, 40);
    EnableWindow(child("Button", "&Later", BS_PUSHBUTTON, kLaterId, 70), FALSE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

int RunMapping(const char* name, DWORD size, DWORD ms)
{
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
    if (!mapping)
        return 255;
    auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size));
    if (!view)
        return 255;
    Sleep(ms);
    int first = view[0];
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return first;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "box") == 0)
        return MessageBoxA(nullptr, argv[3], argv[2], static_cast<UINT>(std::strtoul(argv[4], nullptr, 0)));
    if (argc == 3 && std::strcmp(argv[1], "form") == 0)
        return RunForm(argv[2]);
    if (argc == 5 && std::strcmp(argv[1], "mapping") == 0)
        return RunMapping(argv[2], std::strtoul(argv[3], nullptr, 0), std::strtoul(argv[4], nullptr, 0));
    return 2;
}
