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

enum class Redirected { done, notAModule, notImported, unchangeable };

// Points every slot of module's import table that imports one of wanted's functions from dllName
// (its name compared without case, as the loader does) at that function's replacement. Imports are
// matched by name through the import lookup table; a module that has none (an import table bound
// in place) is matched by address, against what the DLL exports under that name. All or nothing:
// anything but done leaves the table as it was, with the reason in error: the module is not a
// loaded PE image of this process's kind, a wanted function is not imported, or a slot cannot be
// made writable.
Redirected redirectImports(HINSTANCE__* module, const char* dllName, std::vector<ImportRedirection>& wanted,
                           std::string& error);

// Puts back what redirectImports changed. The module must still be loaded.
void restoreImports(std::vector<ImportRedirection>& redirected);

}  // namespace pcimemu::win32
