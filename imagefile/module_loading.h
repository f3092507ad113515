#pragma once
#include <string>

// The platform's way of loading a module by path and finding its exports by name.
void* OpenModule(const std::string& path);
void* FindExport(void* module, const char* name);
void CloseModule(void* module);

// The 8-bit form of a UTF-8 path under which the module can open the file (on Windows the short
// or ANSI form, which exists only for files that already exist). False when there is none.
bool ModulePathArgument(const std::string& path, std::string& argument);
