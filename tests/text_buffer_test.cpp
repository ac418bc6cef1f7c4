// Tests of the fixed-buffer text copies: never past the buffer, always terminated, and a cut is
// reported.
#include "common/text_buffer.h"

#include <gtest/gtest.h>

namespace {

TEST(TextBufferTest, CopyAndAppendFitOrReportTheCut) {
  struct {
    const wchar_t* start;  // null: CopyText, else AppendText onto this text
    const wchar_t* text;
    bool fits;
    const wchar_t* expected;
  } cases[] = {
      {nullptr, L"abc", true, L"abc"},       {nullptr, L"abcde", true, L"abcde"},
      {nullptr, L"abcdef", false, L"abcde"}, {nullptr, L"", true, L""},
      {L"ab", L"cde", true, L"abcde"},       {L"ab", L"cdef", false, L"abcde"},
      {L"abcde", L"", true, L"abcde"},       {L"abcde", L"x", false, L"abcde"},
  };
  for (const auto& c : cases) {
    wchar_t buffer[7] = {L'?', L'?', L'?', L'?', L'?', L'?', L'#'};
    bool fits;
    if (c.start == nullptr) {
      fits = CopyText(buffer, 6, c.text);
    } else {
      CopyText(buffer, 6, c.start);
      fits = AppendText(buffer, 6, c.text);
    }
    EXPECT_EQ(c.fits, fits) << (c.start ? "append " : "copy ") << c.text[0];
    EXPECT_STREQ(c.expected, buffer);
    EXPECT_EQ(L'#', buffer[6]) << "written past the buffer";
  }
}

}  // namespace
