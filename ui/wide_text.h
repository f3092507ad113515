#pragma once
// The portable code speaks UTF-8; the desktop program shows every text and opens every path with
// the wide-character functions, so Japanese texts and file names survive any system locale.
#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
