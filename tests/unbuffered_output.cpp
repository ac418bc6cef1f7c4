// Linked into every test program run under Wine: its output goes to a file there, which a C
// runtime buffers fully, so a program that crashes would lose everything it printed. Unbuffered,
// the last lines before a crash are kept.
#include <stdio.h>

namespace {

struct UnbufferedOutput {
  UnbufferedOutput() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
  }
};

UnbufferedOutput unbufferedOutput;

}  // namespace
