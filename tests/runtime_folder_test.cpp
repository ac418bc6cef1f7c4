// The runtime folder's name and the attempt rule of its creation.
#include "bootstrap/runtime_folder.h"
#include "common/sfx_state.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct NameCase {
  uint32_t seed;
  const wchar_t* name;
};

class RuntimeFolderNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(RuntimeFolderNameTest, EightUpperCaseDigitsMostSignificantFirst) {
  wchar_t name[kRuntimeFolderNameUnits + 1];
  FormatRuntimeFolderName(GetParam().seed, name);
  EXPECT_STREQ(GetParam().name, name);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RuntimeFolderNameTest,
                         ::testing::Values(NameCase{0x12ABCD, L"kv0012ABCD"},
                                           NameCase{0xA0000000, L"kvA0000000"},
                                           NameCase{0, L"kv00000000"},
                                           NameCase{0xFFFFFFFF, L"kvFFFFFFFF"},
                                           NameCase{0x0F1E2D3C, L"kv0F1E2D3C"}));

TEST(RuntimeFolderSeedTest, MixesProcessThreadAndTickWithLostBits) {
  EXPECT_EQ(0x1234u ^ (0x5u << 14) ^ (0x7u << 12), MixRuntimeFolderSeed(0x1234, 0x5, 0x7));
  // Bits shifted past the top are lost, not carried.
  EXPECT_EQ(0u, MixRuntimeFolderSeed(0, 0x40000, 0x100000));
}

// A scripted system: which names exist, what creation answers, the tick count.
struct ScriptedSystem {
  std::set<std::wstring> taken;
  DWORD createError = 0;
  uint32_t tick = 0x10;
  int existsCalls = 0;
  int createCalls = 0;
  std::wstring made;
};

bool ScriptedExists(void* context, const wchar_t* path) {
  auto* system = static_cast<ScriptedSystem*>(context);
  ++system->existsCalls;
  return system->taken.count(path) != 0;
}

DWORD ScriptedCreate(void* context, const wchar_t* path) {
  auto* system = static_cast<ScriptedSystem*>(context);
  ++system->createCalls;
  if (system->createError == 0) system->made = path;
  return system->createError;
}

uint32_t ScriptedTick(void* context) { return static_cast<ScriptedSystem*>(context)->tick; }

struct AttemptCase {
  const char* name;
  int takenNames;       // names, from the seed on, that exist already
  DWORD createError;    // what creation answers for a free name
  bool succeeds;
  int createCalls;
};

class RuntimeFolderAttemptTest : public ::testing::TestWithParam<AttemptCase> {};

TEST_P(RuntimeFolderAttemptTest, AttemptsFollowTheRule) {
  const AttemptCase& c = GetParam();
  ScriptedSystem system;
  system.createError = c.createError;
  const uint32_t seed = 0x1000;
  for (int i = 0; i < c.takenNames; ++i) {
    wchar_t name[kRuntimeFolderNameUnits + 1];
    FormatRuntimeFolderName(seed + i * system.tick, name);
    system.taken.insert(std::wstring(L"C:\\temp\\") + name);
  }
  RuntimeFolderSystem ops = {&system, ScriptedExists, ScriptedCreate, ScriptedTick};
  wchar_t path[kPathBufferUnits] = L"C:\\temp\\";
  bool made = CreateRuntimeFolderWith(&ops, seed, path, 8);
  EXPECT_EQ(c.succeeds, made);
  EXPECT_EQ(c.createCalls, system.createCalls);
  // Every attempt tests its name first; a race lost at creation makes one more attempt.
  const int expectedExists = c.createError == ERROR_ALREADY_EXISTS
                                 ? kRuntimeFolderAttempts
                                 : std::min(c.takenNames + 1, kRuntimeFolderAttempts);
  EXPECT_EQ(expectedExists, system.existsCalls);
  if (made) {
    wchar_t name[kRuntimeFolderNameUnits + 1];
    FormatRuntimeFolderName(seed + c.takenNames * system.tick, name);
    EXPECT_EQ(std::wstring(L"C:\\temp\\") + name, path);
    EXPECT_EQ(system.made, path);
  } else {
    EXPECT_STREQ(L"C:\\temp\\", path);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuntimeFolderAttemptTest,
    ::testing::Values(AttemptCase{"FirstNameFree", 0, 0, true, 1},
                      AttemptCase{"ThreeNamesTaken", 3, 0, true, 1},
                      AttemptCase{"NinetyNineTaken", 99, 0, true, 1},
                      AttemptCase{"AllHundredTaken", 100, 0, false, 0},
                      AttemptCase{"NotWritable", 0, ERROR_ACCESS_DENIED, false, 1},
                      AttemptCase{"PathMissing", 2, ERROR_PATH_NOT_FOUND, false, 1},
                      AttemptCase{"RaceEveryTime", 0, ERROR_ALREADY_EXISTS, false, 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RuntimeFolderPathTest, BackslashFollowsTheFolderName) {
  wcscpy(sfx.runtimeDir, L"C:\\temp\\kv0012ABCD");
  FinishRuntimeFolderPath();
  EXPECT_STREQ(L"C:\\temp\\kv0012ABCD\\", sfx.runtimeDir);
  EXPECT_EQ(19u, sfx.runtimeDirLength);
}

}  // namespace
