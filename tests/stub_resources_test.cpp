// The extractor's resources read back the way Windows reads them, from copies of a program that
// carries them, rewritten on the host by kvtexts (tests/data/resources.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "kv_test_paths.h"

namespace {

std::wstring DataPath(const wchar_t* name) {
  return std::wstring(kTestDataDir) + L"\\resources\\" + name;
}

// What one image should hold.
struct ImageCase {
  const wchar_t* file;
  std::wstring title;
  const wchar_t* label;
  const wchar_t* company;
  const wchar_t* description;
  const wchar_t* copyright;
  const wchar_t* webAddress;
  const char* assemblyName;
  const char* manifestDescription;
  bool needsStub;  // made only once the extractor stub (and for a package, kvpack) is built
};

const std::wstring kLongTitle(300, L'x');

const ImageCase kCases[] = {
    {L"default.exe", L"Package", L"Package Setup", L"Package publisher", L"Self-extracting package",
     L"Copyright (C) the package publisher", L"https://example.com/", "Package.Setup",
     "Self-extracting package", false},
    {L"texts.exe", L"Acme Tools \u2014 Setup", L"Acme Wizard", L"Acme \u00dcnited",
     L"Acme tool installer", L"\u00a9 2026 Acme & Co", L"https://acme.example/",
     "Acme.Tools.Setup", "Acme &lt;Tools&gt; &amp; more", false},
    {L"longtitle.exe", kLongTitle, L"Package Setup", L"Package publisher",
     L"Self-extracting package", L"Copyright (C) the package publisher", L"https://example.com/",
     "Package.Setup", "Self-extracting package", false},
    {L"kvsfx_texts.exe", L"Acme Tools \u2014 Setup", L"Acme Wizard", L"Acme \u00dcnited",
     L"Acme tool installer", L"\u00a9 2026 Acme & Co", L"https://acme.example/",
     "Acme.Tools.Setup", "Acme &lt;Tools&gt; &amp; more", true},
    {L"package.exe", L"Acme Tools \u2014 Setup", L"Acme Wizard", L"Acme \u00dcnited",
     L"Acme tool installer", L"\u00a9 2026 Acme & Co", L"https://acme.example/",
     "Acme.Tools.Setup", "Acme &lt;Tools&gt; &amp; more", true},
};

// Module handle owner for a data-file load.
struct ModuleOwner {
  HMODULE module = nullptr;
  ~ModuleOwner() {
    if (module != nullptr) FreeLibrary(module);
  }
};

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

std::wstring VersionText(const std::vector<BYTE>& info, const wchar_t* field) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\000004b0\\") + field;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || value == nullptr) {
    return L"<missing>";
  }
  return static_cast<const wchar_t*>(value);
}

void PrintTo(const ImageCase& c, std::ostream* os) {
  for (const wchar_t* p = c.file; *p != 0; ++p) *os << static_cast<char>(*p);
}

class StubResources : public ::testing::TestWithParam<ImageCase> {
 protected:
  void SetUp() override {
    path_ = DataPath(GetParam().file);
    std::wstring failed = path_.substr(0, path_.rfind(L'.')) + L".failed";
    if (GetFileAttributesW(failed.c_str()) != INVALID_FILE_ATTRIBUTES) {
      std::string log;
      HANDLE file = CreateFileW(failed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      char buffer[4096];
      DWORD got = 0;
      if (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        log.assign(buffer, got);
      }
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      FAIL() << "making the image failed on the host:\n" << log;
    }
    if (GetParam().needsStub && GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "not made: the extractor stub or kvpack is not built yet";
    }
    image_.module = LoadLibraryExW(path_.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image_.module, nullptr) << "error " << GetLastError();
  }
  std::wstring path_;
  ModuleOwner image_;
};

TEST_P(StubResources, StringTable) {
  const ImageCase& c = GetParam();
  wchar_t text[260] = {};
  // The extractor loads the title into 260 units: a longer one comes back cut to 259.
  int length = LoadStringW(image_.module, 0, text, static_cast<int>(std::size(text)));
  EXPECT_EQ(std::wstring(text, length), c.title.substr(0, 259));
  const wchar_t* fixed[] = {
      L"Fatal Error", L"Cannot create temporary folder: the program will exit.",
      L"Cannot create temporary runtime: the program will exit.",
      L"This program has got corrupted internal data: it will exit. Please obtain a new copy."};
  for (int id = 1; id <= 4; ++id) {
    length = LoadStringW(image_.module, id, text, static_cast<int>(std::size(text)));
    EXPECT_EQ(std::wstring(text, length), fixed[id - 1]) << id;
  }
  length = LoadStringW(image_.module, 5, text, static_cast<int>(std::size(text)));
  EXPECT_EQ(std::wstring(text, length), c.label);
  // The whole entry, without the 260-unit cut.
  const wchar_t* raw = nullptr;
  length = LoadStringW(image_.module, 0, reinterpret_cast<wchar_t*>(&raw), 0);
  EXPECT_EQ(std::wstring(raw, length), c.title);
}

TEST_P(StubResources, ManifestAndIcons) {
  const ImageCase& c = GetParam();
  // The images under test are of this test program's architecture.
  const std::string arch = sizeof(void*) == 8 ? "amd64" : "x86";
  int manifests = 0;
  EnumResourceNamesW(image_.module, RT_MANIFEST, CountName, reinterpret_cast<LONG_PTR>(&manifests));
  EXPECT_EQ(manifests, 1);
  HRSRC found = FindResourceW(image_.module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(image_.module, found)));
  std::string manifest(data, SizeofResource(image_.module, found));
  EXPECT_NE(manifest.find(std::string("<assemblyIdentity name=\"") + c.assemblyName +
                          "\" version=\"1.0.0.0\" processorArchitecture=\"" + arch +
                          "\" type=\"win32\"/>"),
            std::string::npos) << manifest;
  EXPECT_NE(manifest.find(std::string("<description>") + c.manifestDescription + "</description>"),
            std::string::npos) << manifest;
  const std::string commonControls =
      "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"" +
      arch + "\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"";
  const char* fixedParts[] = {
      "level=\"asInvoker\" uiAccess=\"false\"",
      "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
      commonControls.c_str(),
      "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
      "<file name=\"version.dll\" loadFrom=\"%SystemRoot%\\system32\\\"/>"};
  for (const char* part : fixedParts) EXPECT_NE(manifest.find(part), std::string::npos) << part;

  HRSRC group = FindResourceW(image_.module, L"MAINICON", RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(image_.module, group)));
  ASSERT_GE(SizeofResource(image_.module, group), 6u);
  int count = dir[4] | (dir[5] << 8);
  ASSERT_EQ(count, 6);
  ASSERT_GE(SizeofResource(image_.module, group), 6u + 14u * count);
  int lastWidth = 0;
  for (int i = 0; i < count; ++i) {
    const BYTE* entry = dir + 6 + 14 * i;
    int width = entry[0] == 0 ? 256 : entry[0];
    EXPECT_GT(width, lastWidth);
    lastWidth = width;
    EXPECT_EQ(entry[6] | (entry[7] << 8), 32) << "bits per pixel";
    WORD id = static_cast<WORD>(entry[12] | (entry[13] << 8));
    HRSRC icon = FindResourceW(image_.module, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(icon, nullptr) << id;
    EXPECT_EQ(SizeofResource(image_.module, icon),
              static_cast<DWORD>(entry[8] | (entry[9] << 8) | (entry[10] << 16) | (entry[11] << 24)));
    // Windows makes an icon of the image at its size.
    const BYTE* bits = static_cast<const BYTE*>(LockResource(LoadResource(image_.module, icon)));
    HICON handle = CreateIconFromResourceEx(const_cast<BYTE*>(bits), SizeofResource(image_.module, icon),
                                            TRUE, 0x00030000, width, width, 0);
    EXPECT_NE(handle, nullptr) << width;
    if (handle != nullptr) DestroyIcon(handle);
  }
}

TEST_P(StubResources, VersionRecord) {
  const ImageCase& c = GetParam();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u) << GetLastError();
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, info.data())) << GetLastError();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0000);
  EXPECT_EQ(translation[1], 0x04B0);
  EXPECT_EQ(VersionText(info, L"CompanyName"), c.company);
  EXPECT_EQ(VersionText(info, L"FileDescription"), c.description);
  EXPECT_EQ(VersionText(info, L"LegalCopyright"), c.copyright);
  EXPECT_EQ(VersionText(info, L"WebSite"), c.webAddress);
  EXPECT_EQ(VersionText(info, L"FileVersion"), L"1.0.0.0");
  EXPECT_EQ(VersionText(info, L"ProductVersion"), L"1.0.0.0");
  EXPECT_NE(VersionText(info, L"ProductName"), L"<missing>");
  EXPECT_NE(VersionText(info, L"LegalTrademarks"), L"<missing>");
}

INSTANTIATE_TEST_SUITE_P(Images, StubResources, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ImageCase>& info) {
                           std::wstring file = info.param.file;
                           std::string name;
                           for (wchar_t ch : file.substr(0, file.find(L'.'))) {
                             name += isalnum(ch) ? static_cast<char>(ch) : '_';
                           }
                           return name;
                         });

// A rewritten program still loads and runs: the subject exits with the length of the title it
// loads from its own string table.
TEST(RewrittenSubject, Runs) {
  struct Case {
    const wchar_t* file;
    DWORD exitCode;
  } cases[] = {{L"default.exe", 7}, {L"texts.exe", 18}, {L"longtitle.exe", 259}, {L"grown.exe", 7}};
  for (const Case& c : cases) {
    std::wstring path = DataPath(c.file);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << GetLastError();
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, c.exitCode) << c.file;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace
