// Layout shared by the dialog templates: every property page has the same size, so that
// the sheets do not grow or shrink from page to page.
#pragma once

#define PAGE_WIDTH 300
#define PAGE_HEIGHT 200
#define PAGE_STYLE DS_SETFONT | DS_3DLOOK | WS_CHILD | WS_CAPTION | WS_DISABLED
#define PAGE_FONT 8, "MS Shell Dlg"
#define MARGIN 10
#define LINE_HEIGHT 10
#define EDIT_HEIGHT 14
#define BUTTON_WIDTH 70
#define BUTTON_HEIGHT 14
