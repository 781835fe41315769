// Redirecting a loaded module's imports: the slots of its import address table that hold named
// functions of one DLL are pointed elsewhere, in this process only (the file is not changed), and
// put back later. Windows only.
#pragma once

#include <string>
#include <vector>

struct HINSTANCE__;  // HMODULE

namespace pcimemu::win32 {

// One function to redirect: its name and the function that answers in its place. Filled in by
// redirectImports: the module's slots of it and what each held before.
struct ImportRedirection {
    const char* name;
    void* replacement;
    std::vector<void**> slots;
    std::vector<void*> originals;
};

// Points every slot of module's import table that imports one of wanted's functions from dllName
// (its name compared without case, as the loader does) at that function's replacement. Imports are
// matched by name through the import lookup table; a module that has none (an import table bound
// in place) is matched by address, against what the DLL exports under that name. All or nothing:
// false, nothing changed and the reason in error, when the module is not a loaded PE image, when a
// wanted function is not imported (missing names what is not), or when a slot cannot be made
// writable.
bool redirectImports(HINSTANCE__* module, const char* dllName, std::vector<ImportRedirection>& wanted,
                     std::string& missing, std::string& error);

// Puts back what redirectImports changed. The module must still be loaded.
void restoreImports(std::vector<ImportRedirection>& redirected);

}  // namespace pcimemu::win32
