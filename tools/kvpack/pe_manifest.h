// Edits of the stub's application manifest: the assembly identity's name and the description.
#pragma once

#include <string>

// Checks an assembly identity name: 1 to 128 characters of letters, digits, '.', '-' and '_',
// starting with a letter or digit, without "..", not ending in '.'. *error says what is wrong.
bool IsValidAssemblyName(const std::string& name, std::string* error);

// Escapes the five XML special characters for element text and attribute values.
std::string XmlEscape(const std::string& text);

// Sets the name attribute of the manifest's own assemblyIdentity (the one before any dependency)
// and the text of its description element (added after the identity when missing). Empty
// arguments leave that part alone. The texts are plain (escaped here). Returns false with a
// message when the manifest lacks an own assemblyIdentity with a name attribute.
bool EditManifest(const std::string& manifest, const std::string& assemblyName,
                  const std::string& description, std::string* edited, std::string* error);
