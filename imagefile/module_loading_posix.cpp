#include <dlfcn.h>

#include "imagefile/module_loading.h"

void* OpenModule(const std::string& path)
{
    // A bare name would make dlopen search the library path; the module is always named by path.
    const std::string named = path.find('/') == std::string::npos ? "./" + path : path;
    return dlopen(named.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindExport(void* module, const char* name)
{
    return dlsym(module, name);
}

void CloseModule(void* module)
{
    dlclose(module);
}

bool ModulePathArgument(const std::string& path, std::string& argument)
{
    argument = path;
    return true;
}
