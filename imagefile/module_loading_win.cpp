#include <windows.h>

#include <filesystem>

#include "imagefile/module_loading.h"
#include "support/replace_file.h"

namespace {

bool IsAscii(const std::wstring& text)
{
    for (wchar_t c : text)
        if (c > 0x7F) return false;
    return true;
}

}  // namespace

void* OpenModule(const std::string& path)
{
    // An absolute path with backslashes: the loader then takes exactly this file, never one found
    // along its search path.
    std::error_code error;
    const std::filesystem::path where = std::filesystem::absolute(PathFromUtf8(path), error).make_preferred();
    return error ? nullptr : LoadLibraryW(where.wstring().c_str());
}

void* FindExport(void* module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void CloseModule(void* module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}

bool ModulePathArgument(const std::string& path, std::string& argument)
{
    // The module takes 8-bit paths. Names outside the ANSI code page reach it through the file's
    // short name where the volume keeps one, otherwise through a lossless ANSI conversion.
    std::wstring wide = PathFromUtf8(path).wstring();
    if (!IsAscii(wide)) {
        const DWORD length = GetShortPathNameW(wide.c_str(), nullptr, 0);
        std::wstring shortName(length, L'\0');
        if (length > 0 && GetShortPathNameW(wide.c_str(), shortName.data(), length) == length - 1) {
            shortName.resize(length - 1);
            if (IsAscii(shortName)) wide = shortName;
        }
    }
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    argument.assign(static_cast<std::size_t>(bytes), '\0');
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, argument.data(), bytes, nullptr, &lossy);
    argument.resize(static_cast<std::size_t>(bytes) - 1);
    return !lossy;
}
