// The identifiers of the Win32 program's resources (norrvik.rc).
#pragma once

#define NORRVIK_ICON 1
