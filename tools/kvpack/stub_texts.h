// The package-specific texts kvpack writes into its copy of the extractor stub's resources.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// All texts are UTF-8 as given on the command line; empty means "keep the stub's own text".
struct StubTexts {
  std::string title;                // string-table entry 0, the package title
  std::string label;                // string-table entry 5, the wizard label
  std::string description;          // version record: FileDescription
  std::string company;              // CompanyName
  std::string product;              // ProductName
  std::string copyright;            // LegalCopyright
  std::string trademarks;           // LegalTrademarks
  std::string webAddress;           // a web-address string field
  std::string assemblyName;         // manifest: assemblyIdentity name
  std::string assemblyDescription;  // manifest: description
};

// Recognises one command-line option of the package texts ("--title" and its kin) with its
// value. Returns true when name was such an option; *error is set when its value is unusable.
bool ParseStubTextOption(const std::string& name, const std::string& value, StubTexts* texts,
                         std::string* error);

// Usage lines for the options above, for kvpack's help text.
const char* StubTextOptionsHelp();

// Rewrites the resources of a stub image (its bytes up to the image end) with the texts:
// rebuilds the resource section and fixes the PE sizes and directories. Texts the format cannot
// carry are refused with *error; texts the program would cut add a line to *warnings.
bool ApplyStubTexts(std::vector<uint8_t>* stub, const StubTexts& texts,
                    std::vector<std::string>* warnings, std::string* error);
