#pragma once
// The Windows headers as the Windows platform's units take them: after our own platform
// headers, so that their macros never meet our names, without the rarely used parts and without
// the min and max macros. The sockets header comes first: <windows.h> alone would bring in the
// older one, which clashes with it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX  // the C++ library may have asked for it already
#define NOMINMAX
#endif
#include <windows.h>
#include <winsock2.h>
