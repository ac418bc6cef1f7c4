// Converts the page documents' Markdown (UTF-8, optional byte-order mark) into RTF for a RichEdit
// control. Handled: paragraphs separated by empty lines, lines of a paragraph joined by a space,
// hard line breaks (two trailing spaces or a trailing backslash), bold between "**", italics
// between single "*" or "_" at word edges, "#" headings, numbered steps ("1)" or "1."), bullets
// ("- ", "* "), backslash escapes ("\_", "\*"), and any Unicode character (no-break spaces
// included). Pure code.
#pragma once

#include <string>

struct RtfStyle {
  std::wstring fontFace = L"Segoe UI";
  int halfPoints = 18;        // body text size in half points
  unsigned textColour = 0;    // 0x00BBGGRR
};

std::string MarkdownToRtf(const std::string& utf8, const RtfStyle& style);
