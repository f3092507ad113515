#pragma once
#include <filesystem>
#include <string>

// qvn holds every path as UTF-8 (on Windows too, where the arguments arrive as UTF-16), and
// hands it to the file system in that form.
inline std::filesystem::path Utf8Path(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8Text(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
