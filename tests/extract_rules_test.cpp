// Tests of the payload extraction's pure rules: the progress percentage and the output path
// below the destination folder.
#include "archive/extract_rules.h"
#include "common/sfx_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct PercentCase {
  uint64_t done;
  uint64_t total;
  int expected;
};

class PercentOfTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentOfTest, RoundsHalvesAwayFromZero) {
  EXPECT_EQ(GetParam().expected, PercentOf(GetParam().done, GetParam().total));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PercentOfTest,
    ::testing::Values(PercentCase{1, 8, 13}, PercentCase{2, 3, 67}, PercentCase{1, 3, 33},
                      PercentCase{0, 0, 0}, PercentCase{7, 0, 0}, PercentCase{0, 9, 0},
                      PercentCase{9, 9, 100}, PercentCase{1, 200, 1}, PercentCase{1, 201, 0},
                      PercentCase{199, 200, 100}, PercentCase{397, 400, 99},
                      PercentCase{uint64_t{1} << 40, uint64_t{1} << 41, 50},
                      PercentCase{(uint64_t{1} << 40) - 1, uint64_t{1} << 40, 100}));

struct OutputPathCase {
  std::wstring destination;
  std::wstring expected;  // empty: refused
};

class BeginOutputPathTest : public ::testing::TestWithParam<OutputPathCase> {};

TEST_P(BeginOutputPathTest, EndsTheFolderWithOneSeparator) {
  std::vector<wchar_t> path(kPathBufferUnits, L'?');
  size_t length = BeginOutputPath(path.data(), path.size(), GetParam().destination.c_str());
  EXPECT_EQ(GetParam().expected.size(), length);
  EXPECT_EQ(GetParam().expected, std::wstring(path.data()));
}

std::wstring Units(size_t count) { return std::wstring(count, L'd'); }

INSTANTIATE_TEST_SUITE_P(
    Cases, BeginOutputPathTest,
    ::testing::Values(
        OutputPathCase{L"C:\\out", L"C:\\out\\"}, OutputPathCase{L"C:\\out\\", L"C:\\out\\"},
        OutputPathCase{L"C:\\out/", L"C:\\out/"}, OutputPathCase{L"C:", L"C:\\"},
        OutputPathCase{L"", L""},
        // Longer than a 260-unit buffer: the separator is still added, so that the entries land
        // inside the folder and not beside it.
        OutputPathCase{Units(300), Units(300) + L"\\"},
        OutputPathCase{Units(780), Units(780) + L"\\"},
        OutputPathCase{Units(781), L""},
        OutputPathCase{Units(780) + L"\\", Units(780) + L"\\"}));

TEST(EntryNameFitsTest, CountsTheTerminatorInTheName) {
  struct {
    size_t base, nameUnits;
    bool fits;
  } cases[] = {{781, 1, true}, {781, 2, false}, {523, 259, true}, {524, 259, false},
               {0, 782, true}, {0, 783, false}, {790, 1, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.fits, EntryNameFits(c.base, c.nameUnits, kPathBufferUnits))
        << c.base << " + " << c.nameUnits;
  }
}

}  // namespace
