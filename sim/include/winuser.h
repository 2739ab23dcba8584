// Simulated Win32: everything lives in <windows.h>.
#pragma once
#include <windows.h>
