// Markdown to RTF conversion for the document controls.
#include "markdown_rtf.h"

#include <vector>

#include "data_lines.h"

namespace {

enum class BlockKind { Paragraph, Heading, Numbered, Bullet };

struct Block {
  BlockKind kind = BlockKind::Paragraph;
  std::wstring marker;  // "1)" of a step
  std::vector<std::wstring> lines;
  std::vector<bool> hardBreaks;  // after each line
};

void AppendEscaped(std::string& out, wchar_t c) {
  if (c == L'\\' || c == L'{' || c == L'}') {
    out.push_back('\\');
    out.push_back(static_cast<char>(c));
  } else if (c == 0x00A0) {
    out += "\\~";
  } else if (c == L'\t') {
    out += "\\tab ";
  } else if (c >= 0x20 && c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c >= 0x20) {
    // RTF's \u takes a signed 16-bit value followed by a fallback character.
    out += "\\u" + std::to_string(static_cast<int>(static_cast<short>(c))) + "?";
  }
}

bool IsWordChar(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
         c >= 0x80;
}

// Inline text: escapes, "**" bold, "*"/"_" italics at word edges.
void AppendInline(std::string& out, const std::wstring& text, bool& bold, bool& italic) {
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\\' && i + 1 < text.size() && !IsWordChar(text[i + 1]) && text[i + 1] != L' ') {
      AppendEscaped(out, text[++i]);
      continue;
    }
    if (c == L'*' && i + 1 < text.size() && text[i + 1] == L'*') {
      bold = !bold;
      out += bold ? "\\b " : "\\b0 ";
      ++i;
      continue;
    }
    if (c == L'*' || c == L'_') {
      bool before = i > 0 && IsWordChar(text[i - 1]);
      bool after = i + 1 < text.size() && IsWordChar(text[i + 1]);
      if ((!italic && after && !before) || (italic && before && !after)) {
        italic = !italic;
        out += italic ? "\\i " : "\\i0 ";
        continue;
      }
    }
    AppendEscaped(out, c);
  }
}

// "12)" or "12." followed by a space: a numbered step; the marker is returned without the space.
bool StepMarker(const std::wstring& line, std::wstring& marker, size_t& textStart) {
  size_t i = 0;
  while (i < line.size() && line[i] >= L'0' && line[i] <= L'9') ++i;
  if (i == 0 || i > 3 || i + 1 >= line.size()) return false;
  if ((line[i] != L')' && line[i] != L'.') || (line[i + 1] != L' ' && line[i + 1] != 0x00A0))
    return false;
  marker = line.substr(0, i + 1);
  textStart = i + 2;
  return true;
}

std::vector<Block> SplitBlocks(const std::wstring& text) {
  std::vector<Block> blocks;
  Block current;
  bool open = false;
  auto flush = [&]() {
    if (open) blocks.push_back(current);
    current = Block();
    open = false;
  };
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    bool hard = false;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, L"  ") == 0) hard = true;
    if (!line.empty() && line.back() == L'\\') {
      hard = true;
      line.pop_back();
    }
    size_t lead = line.find_first_not_of(L" \t");
    if (lead == std::wstring::npos) {
      flush();
      continue;
    }
    size_t trail = line.find_last_not_of(L" \t");
    std::wstring body = line.substr(lead, trail - lead + 1);
    std::wstring marker;
    size_t textStart = 0;
    if (body[0] == L'#') {
      size_t hashes = body.find_first_not_of(L'#');
      if (hashes != std::wstring::npos && hashes <= 6 && body[hashes] == L' ') {
        flush();
        current.kind = BlockKind::Heading;
        current.lines.push_back(body.substr(hashes + 1));
        current.hardBreaks.push_back(false);
        open = true;
        flush();
        continue;
      }
    }
    if (StepMarker(body, marker, textStart)) {
      flush();
      current.kind = BlockKind::Numbered;
      current.marker = marker;
      body = body.substr(textStart);
    } else if (body.size() > 2 && (body[0] == L'-' || body[0] == L'*') && body[1] == L' ') {
      flush();
      current.kind = BlockKind::Bullet;
      body = body.substr(2);
    }
    current.lines.push_back(body);
    current.hardBreaks.push_back(hard);
    open = true;
  }
  flush();
  return blocks;
}

}  // namespace

std::string MarkdownToRtf(const std::string& utf8, const RtfStyle& style) {
  std::string bytes = utf8;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::wstring text = Utf8ToWide(bytes);
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil ";
  for (wchar_t c : style.fontFace) AppendEscaped(out, c);
  out += ";}}{\\colortbl ;\\red" + std::to_string(style.textColour & 0xFF) + "\\green" +
         std::to_string((style.textColour >> 8) & 0xFF) + "\\blue" +
         std::to_string((style.textColour >> 16) & 0xFF) + ";}\n";
  const std::string size = std::to_string(style.halfPoints);
  const std::string headingSize = std::to_string(style.halfPoints + style.halfPoints / 3);
  const int indent = 360;  // twips for steps and bullets
  for (const Block& block : SplitBlocks(text)) {
    out += "\\pard\\sa120\\cf1\\f0\\fs" + size + " ";
    bool bold = false;
    bool italic = false;
    switch (block.kind) {
      case BlockKind::Heading:
        out += "\\fs" + headingSize + "\\b ";
        bold = true;
        break;
      case BlockKind::Numbered:
        out += "\\fi-" + std::to_string(indent) + "\\li" + std::to_string(indent) + "\\tx" +
               std::to_string(indent) + " ";
        for (wchar_t c : block.marker) AppendEscaped(out, c);
        out += "\\tab ";
        break;
      case BlockKind::Bullet:
        out += "\\fi-" + std::to_string(indent) + "\\li" + std::to_string(indent) + "\\tx" +
               std::to_string(indent) + " \\u8226?\\tab ";
        break;
      case BlockKind::Paragraph:
        break;
    }
    for (size_t i = 0; i < block.lines.size(); ++i) {
      AppendInline(out, block.lines[i], bold, italic);
      if (i + 1 < block.lines.size()) out += block.hardBreaks[i] ? "\\line " : " ";
    }
    if (bold) out += "\\b0 ";
    if (italic) out += "\\i0 ";
    out += "\\par\n";
  }
  out += "}";
  return out;
}
