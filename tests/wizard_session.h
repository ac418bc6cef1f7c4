// Test helper for runs of whole packages: a scratch folder per test with the package's own
// temporary folder, a destination, the relay runtime's instructions and log, and the checks
// that follow a run (the runtime folder gone, the files on disk as the archive holds them).
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "wizard_driver.h"

struct Session {
  std::wstring root;    // the test's scratch folder (emptied at the start)
  std::wstring temp;    // TMP and TEMP of the package: its runtime folder is made here
  std::wstring dest;    // a destination folder for the test to type (not created)
  std::wstring config;  // the relay's instructions (KV_RELAY_CONFIG)
  std::wstring log;     // what the relay logged
  Driver driver;
};

// The test data folder of the wizard's packages and the path of one of them.
std::wstring WizardData(const wchar_t* name);

// A fresh scratch folder named for the test.
void BeginSession(const std::string& name, Session* session);
// Writes the relay's instructions: a log into session->log, then the lines given.
void WriteRelayConfig(const Session& session, const std::vector<std::string>& lines);
// Starts the package with the session's temporary folder and relay instructions, the start
// directory given (empty: the session's root), and screenshots named for the session.
bool StartSession(Session* session, const std::wstring& image, const std::wstring& startDir = L"",
                  const EnvironmentChanges& extra = {});

// The relay's log lines, in order.
std::vector<std::string> RelayLog(const Session& session);
// The last value the extractor stored in a variable, or "(unset)".
std::string LastValue(const std::vector<std::string>& log, const std::string& name);
// Every value the extractor stored in a variable, in order.
std::vector<std::string> Values(const std::vector<std::string>& log, const std::string& name);
// The progress positions the extractor set, in order.
std::vector<int> ProgressPositions(const std::vector<std::string>& log);
// The results ShowDialogBox gave for a dialog, in order.
std::vector<int> DialogResults(const std::vector<std::string>& log, const std::string& dialog);

// Runtime folders ("kv" and 8 hex digits) left in the session's temporary folder.
std::vector<std::wstring> LeftRuntimeFolders(const Session& session);

// What a file tree holds: relative path (with '\'), folder or not, size, last-write time,
// read-only attribute and bytes.
struct TreeEntry {
  std::wstring path;
  bool folder = false;
  uint64_t size = 0;
  FILETIME written = {};
  bool readOnly = false;
  std::vector<uint8_t> bytes;
};
std::vector<TreeEntry> ReadTree(const std::wstring& root);
// The differences between two trees, one line each; empty when they hold the same. With
// skipEmptyFolders, folders of expected that hold no file, however deep, are not looked for.
std::vector<std::wstring> CompareTrees(const std::wstring& expected, const std::wstring& actual,
                                       bool skipEmptyFolders = false);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// Writes text to a file (false on failure).
bool WriteTextFile(const std::wstring& path, const std::string& text);
// Deletes a tree, clearing read-only attributes on the way.
void RemoveTree(const std::wstring& path);

// A test with a session of its own, named for the test; a package still running at the end is
// ended.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    BeginSession(std::string(test->test_suite_name()) + "." + test->name(), &s);
  }
  void TearDown() override {
    if (s.driver.started) FinishPackage(&s.driver, 1000);
  }

  Session s;
};
