// Text made safe inside XML or HTML: the characters markup gives a meaning replaced by
// their entities. Inside a quoted attribute or element text the apostrophe is harmless,
// so where earlier files left it alone it can stay as it is.
#pragma once

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
