// Text made safe inside XML or HTML: the characters markup gives a meaning replaced by
// their entities. Inside a quoted attribute or element text the apostrophe is harmless,
// so where earlier files left it alone it can stay as it is.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

inline std::string markupEscaped(std::string_view text, bool escapeApostrophe = true) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        if (escapeApostrophe) {
          out += "&apos;";
        } else {
          out += c;
        }
        break;
      default:
        out += c;
    }
  }
  return out;
}

// For an attribute value in an XML file: markupEscaped, and tab, line feed and carriage
// return as character references, which a reader's attribute normalisation keeps (written
// as they are, each would come back as a space).
inline std::string xmlAttributeEscaped(std::string_view text) {
  std::string out;
  for (const char c : markupEscaped(text)) {
    if (c == '\t') {
      out += "&#9;";
    } else if (c == '\n') {
      out += "&#10;";
    } else if (c == '\r') {
      out += "&#13;";
    } else {
      out += c;
    }
  }
  return out;
}

// Why `text` cannot be written into an XML file at all, or nothing: XML holds UTF-8
// characters only, and no control character but tab, line feed and carriage return.
inline std::optional<std::string> xmlTextProblem(std::string_view text) {
  const auto at = [](const char* what, std::size_t i, unsigned char byte) {
    char where[80];
    std::snprintf(where, sizeof where, "%s (byte 0x%02X at position %zu)", what, byte, i + 1);
    return std::string(where);
  };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') return at("holds a control character", i, b);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const int length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
    if (length == 0 || b > 0xF4 || i + static_cast<std::size_t>(length) > text.size())
      return at("is not UTF-8", i, b);
    unsigned code = b & (0xFFu >> (length + 1));
    for (int k = 1; k < length; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((c & 0xC0) != 0x80) return at("is not UTF-8", i, b);
      code = code << 6 | (c & 0x3Fu);
    }
    const unsigned smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF)
      return at("is not UTF-8", i, b);
    i += static_cast<std::size_t>(length);
  }
  return std::nullopt;
}
