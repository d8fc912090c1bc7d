// Seconds from the performance counter, for the Windows benchmarks.
#pragma once

#include <windows.h>

inline double WallSeconds() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}
