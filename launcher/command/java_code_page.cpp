// Which code page a Java executable reads its command line in, learnt from its manifest and
// the system without running it.
#include "command/code_page.h"

#include <windows.h>

namespace {

struct LoadedModule {
    HMODULE handle;
    explicit LoadedModule(HMODULE module) : handle(module) {}
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule()
    {
        if (handle != nullptr)
            FreeLibrary(handle);
    }
};

// Mapped as a data file and image resource, so none of its code runs and an executable of
// either bitness can be read; a file that is no program declares nothing.
bool manifest_asks_for_utf8(const wchar_t* path)
{
    LoadedModule module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (module.handle == nullptr)
        return false;
    HRSRC found = FindResourceW(module.handle, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    if (found == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(module.handle, found);
    const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
    if (data == nullptr)
        return false;
    return manifest_declares_utf8(static_cast<const char*>(data), SizeofResource(module.handle, found));
}

} // namespace

unsigned system_code_page()
{
    DWORD code_page = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<wchar_t*>(&code_page), sizeof code_page / sizeof(wchar_t)) == 0)
        return GetACP();
    return code_page;
}

unsigned command_line_code_page(const wchar_t* path)
{
    unsigned system = system_code_page();
    if (system == utf8_code_page || manifest_asks_for_utf8(path))
        return utf8_code_page;
    return system;
}
