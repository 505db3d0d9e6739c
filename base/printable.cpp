#include "printable.h"

#include <cstdint>
#include <cstdio>

namespace vemla {

namespace {

void append_hex(std::string& out, const char* form, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, form, value);
  out += text;
}

// The length of the well-formed UTF-8 sequence at the start of `rest`; 0 when it is none.
size_t sequence_length(std::string_view rest) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(rest[i]); };
  const uint8_t lead = byte(0);
  size_t length = 0;
  uint32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (rest.size() < length) return 0;
  uint32_t code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\\':
          out += "\\\\";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            append_hex(out, "\\x%02x", c);
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    const size_t length = sequence_length(text.substr(i));
    if (length == 0) {
      append_hex(out, "\\x%02x", c);
      ++i;
    } else if (length == 2 && c == 0xC2 && static_cast<uint8_t>(text[i + 1]) < 0xA0) {
      append_hex(out, "\\u%04x", static_cast<uint8_t>(text[i + 1]));  // U+0080 ... U+009F
      i += 2;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace vemla
