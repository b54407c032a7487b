// The Status page's rules that need no platform. Portable: no windows.h.
#pragma once
