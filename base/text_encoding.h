// The panel's text is single-byte: Windows-1252, the character set an event source on Windows
// sends. The senders convert what is typed in a UTF-8 terminal to it, and the readable forms
// (the decoded trace, the emulator's lines, the pictures) show its bytes as UTF-8 again. The
// table of the set is written once, in text_encoding.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumora {

// The Unicode code point of a Windows-1252 byte; 0 for the five bytes the set leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D).
char32_t Windows1252ToUnicode(uint8_t byte);

// The Windows-1252 byte of a code point; false when the set cannot hold it.
bool UnicodeToWindows1252(char32_t code, uint8_t& byte);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendUtf8(char32_t code, std::string& out);

// Whether the bytes are UTF-8 throughout (no stray continuation byte, cut or overlong sequence,
// surrogate, nothing above U+10FFFF).
bool IsUtf8(std::string_view text);

// Replaces, in place, every byte that is not part of a UTF-8 character (a stray continuation
// byte, a cut or overlong sequence, a surrogate, above U+10FFFF) by '?', byte for byte, so that
// text from a peer can be read as UTF-8 whatever it holds. True when a byte was replaced.
bool ReplaceNonUtf8(std::string& text);

// Converts UTF-8 text to Windows-1252. Returns false with a one-line reason naming the first
// character the set cannot hold ("'ł' (U+0142) is not in Windows-1252, the panel's character
// set"), or the first byte that is not UTF-8; out is then unspecified.
bool Utf8ToWindows1252(std::string_view utf8, std::string& out, std::string& reason);

// Converts UTF-8 text to Windows-1252 without ever refusing it, for the bridges that pass on a
// player's titles: a character the set cannot hold and a byte that is not UTF-8 become '?', and
// a control character (below U+0020, and U+007F) becomes a blank, so the text field never holds
// a NUL or a line break of its own.
std::string Utf8ToWindows1252Replacing(std::string_view utf8);

// Appends Windows-1252 text as UTF-8; an undefined byte becomes U+FFFD.
void AppendWindows1252AsUtf8(std::string_view text, std::string& out);

}  // namespace lumora
