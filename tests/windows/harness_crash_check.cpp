// A test program that must fail the run: it crashes after a thread of its own
// has come and gone, which makes Wine end it with exit status 0. CTest expects
// cmake/wine-gtest.sh to fail it (WILL_FAIL), so a harness that judges by the
// exit status alone, or loses its own failure status, fails the run.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

DWORD WINAPI Empty(void*) { return 0; }

TEST(Harness, CrashAfterAThreadHasEnded) {
  HANDLE thread = CreateThread(nullptr, 0, Empty, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  *static_cast<volatile int*>(nullptr) = 0;
}

}  // namespace
