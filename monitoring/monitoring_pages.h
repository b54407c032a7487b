// The monitoring subsystem's pages and dialogs, hosted by the property sheets.
#pragma once

#include <windows.h>
