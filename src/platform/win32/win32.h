// The Windows headers as the Win32 backend includes them: Winsock 2 before
// windows.h, and without the min/max macros and the rarely used parts.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// inet_addr is what the endpoint wants: IPv4 text only, no name lookup.
#ifndef _WINSOCK_DEPRECATED_NO_WARNINGS
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#endif

#include <winsock2.h>
#include <windows.h>
