#pragma once
#include <cstdint>
#include <string>

namespace corvane::handoff {

// A number in the UTF-8 scheme: one to four bytes, their order the order of the numbers. No
// range check: a value that is no character is written bit for bit, as the XML tree reader
// writes character references and wide characters.
inline void appendUtf8(std::string& out, uint32_t ch) {
  if (ch < 0x80) {
    out.push_back(char(ch));
  } else if (ch < 0x800) {
    out.push_back(char(uint8_t(0xC0 | (ch >> 6))));
    out.push_back(char(uint8_t(0x80 | (ch & 0x3F))));
  } else if (ch < 0x10000) {
    out.push_back(char(uint8_t(0xE0 | (ch >> 12))));
    out.push_back(char(uint8_t(0x80 | ((ch >> 6) & 0x3F))));
    out.push_back(char(uint8_t(0x80 | (ch & 0x3F))));
  } else {
    out.push_back(char(uint8_t(0xF0 | (ch >> 18))));
    out.push_back(char(uint8_t(0x80 | ((ch >> 12) & 0x3F))));
    out.push_back(char(uint8_t(0x80 | ((ch >> 6) & 0x3F))));
    out.push_back(char(uint8_t(0x80 | (ch & 0x3F))));
  }
}

}  // namespace corvane::handoff
