// The structured-exception guard: what it catches, from where, and that the thread's exception
// handling is intact afterwards.
#include "bootstrap/exception_guard.h"
#include "kv_test_paths.h"
#include "runtime/zudada.h"
#include "seh_frames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kRaised = 0xE0001234;

int Returns42(void*) { return 42; }
int Raises(void*) {
  RaiseException(kRaised, 0, 0, nullptr);
  return 1;
}
int WritesThroughNull(void*) {
  volatile int* nowhere = nullptr;
  *nowhere = 7;
  return 1;
}
int __attribute__((noinline)) Deep(int depth) {
  volatile char padding[256];
  padding[0] = static_cast<char>(depth);
  if (depth == 0) {
    RaiseException(kRaised, 0, 0, nullptr);
    return 0;
  }
  return Deep(depth - 1) + padding[0];
}
int RaisesDeep(void*) { return Deep(200); }
int DividesByZero(void* context) {
  volatile int zero = *static_cast<int*>(context);
  return 10 / zero;
}

// A guard inside the guarded body: the inner one catches, the outer sees a normal return.
int InnerGuardCatches(void*) {
  int result = 0;
  DWORD code = 0;
  bool normal = CallGuarded(Raises, nullptr, &result, &code);
  return !normal && code == kRaised ? 5 : -1;
}

struct GuardCase {
  const char* name;
  GuardedBody body;
  bool returns;
  int result;
  DWORD code;
};

class ExceptionGuardTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(ExceptionGuardTest, CatchesOrPassesThrough) {
  const GuardCase& c = GetParam();
  void* before = ExceptionStateMark();
  int zero = 0;
  int result = -99;
  DWORD code = 0;
  bool returned = CallGuarded(c.body, &zero, &result, &code);
  EXPECT_EQ(c.returns, returned);
  if (c.returns) {
    EXPECT_EQ(c.result, result);
  } else {
    EXPECT_EQ(c.code, code) << std::hex << code;
  }
  EXPECT_EQ(before, ExceptionStateMark()) << "exception state changed";
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ExceptionGuardTest,
    ::testing::Values(GuardCase{"NormalReturn", Returns42, true, 42, 0},
                      GuardCase{"RaisedException", Raises, false, 0, kRaised},
                      GuardCase{"AccessViolation", WritesThroughNull, false, 0,
                                EXCEPTION_ACCESS_VIOLATION},
                      GuardCase{"DeepInside", RaisesDeep, false, 0, kRaised},
                      GuardCase{"IntegerDivideByZero", DividesByZero, false, 0,
                                EXCEPTION_INT_DIVIDE_BY_ZERO},
                      GuardCase{"NestedGuard", InnerGuardCatches, true, 5, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExceptionGuardRepeatTest, GuardsOneAfterAnother) {
  // Each catch leaves the stack and the handler state as they were, so guards can follow each other.
  void* before = ExceptionStateMark();
  for (int i = 0; i < 50; ++i) {
    int result = 0;
    DWORD code = 0;
    ASSERT_FALSE(CallGuarded(i % 2 ? Raises : WritesThroughNull, nullptr, &result, &code));
  }
  EXPECT_EQ(before, ExceptionStateMark());
}

// Unwind handlers of frames between the fault and the guard run during the unwind.
int RaisesUnderInnerFrame(void*) {
  RaiseInCountingFrame(kRaised);
  return 1;
}

TEST(ExceptionGuardUnwindTest, InnerFramesSeeTheUnwind) {
  unwindCalls = 0;
  void* before = ExceptionStateMark();
  int result = 0;
  DWORD code = 0;
  EXPECT_FALSE(CallGuarded(RaisesUnderInnerFrame, nullptr, &result, &code));
  EXPECT_EQ(kRaised, code);
  EXPECT_EQ(1, unwindCalls);
  EXPECT_EQ(before, ExceptionStateMark());
}

// An exception raised by a callback that the runtime library calls passes through the
// library's frames to the guard.
int WINAPI RaisingPageProc(int, HWND, LPARAM) {
  RaiseException(kRaised, 0, 0, nullptr);
  return 1;
}
int ShowsDialogThroughLibrary(void* context) {
  auto show = reinterpret_cast<int(WINAPI*)(const wchar_t*, KVPageProc)>(context);
  return show(L"dlgwizwelc", RaisingPageProc);
}

TEST(ExceptionGuardCallbackTest, ExceptionFromCallbackInsideTheRuntimeLibrary) {
  std::wstring path = std::wstring(kTestOutDir) + L"\\fake_runtime\\ZUDada.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  ASSERT_NE(nullptr, library) << "stand-in runtime library not found";
  void* show = reinterpret_cast<void*>(GetProcAddress(library, "ShowDialogBox"));
  ASSERT_NE(nullptr, show);
  int result = 0;
  DWORD code = 0;
  EXPECT_FALSE(CallGuarded(ShowsDialogThroughLibrary, show, &result, &code));
  EXPECT_EQ(kRaised, code);
  FreeLibrary(library);
}

}  // namespace
