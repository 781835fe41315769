// Redirecting a module's imports: see pcimemu/import_table.h.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "pcimemu/import_table.h"

#include <cstring>
#include <string>

namespace pcimemu::win32 {

namespace {

bool sameNameIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

// Writes value into slot, making its page writable for the moment.
bool writeSlot(void** slot, void* value) {
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
    *slot = value;
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof *slot, previous, &ignored);
    return true;
}

}  // namespace

Redirected redirectImports(HINSTANCE__* module, const char* dllName, std::vector<ImportRedirection>& wanted,
                           std::string& error) {
    for (ImportRedirection& function : wanted) {
        function.slots.clear();
        function.originals.clear();
    }
    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        error = "not a loaded Windows module";
        return Redirected::notAModule;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) {
        error = "not a loaded Windows module of this process's kind";
        return Redirected::notAModule;
    }
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    HMODULE exporter = GetModuleHandleA(dllName);

    if (directory.VirtualAddress != 0 && directory.Size != 0) {
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
        for (; descriptor->Name != 0; ++descriptor) {
            if (!sameNameIgnoringCase(reinterpret_cast<const char*>(base + descriptor->Name), dllName)) continue;
            // The import address table: bound to the functions by now. Its names are in the lookup
            // table, when the module has one (OriginalFirstThunk); otherwise the bound addresses
            // are all there is to go by.
            auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
            const auto* lookup = descriptor->OriginalFirstThunk != 0
                                     ? reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk)
                                     : nullptr;
            for (size_t i = 0; bound[i].u1.Function != 0; ++i) {
                void** slot = reinterpret_cast<void**>(&bound[i].u1.Function);
                for (ImportRedirection& function : wanted) {
                    bool match = false;
                    if (lookup != nullptr) {
                        if (IMAGE_SNAP_BY_ORDINAL(lookup[i].u1.Ordinal)) continue;
                        const auto* byName =
                            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + lookup[i].u1.AddressOfData);
                        match = std::strcmp(reinterpret_cast<const char*>(byName->Name), function.name) == 0;
                    } else if (exporter != nullptr) {
                        const FARPROC exported = GetProcAddress(exporter, function.name);
                        match = exported != nullptr && reinterpret_cast<void*>(exported) == *slot;
                    }
                    if (!match) continue;
                    function.slots.push_back(slot);
                    function.originals.push_back(*slot);
                }
            }
        }
    }

    for (const ImportRedirection& function : wanted) {
        if (!function.slots.empty()) continue;
        error = std::string("it does not import ") + function.name + " from " + dllName;
        return Redirected::notImported;
    }

    for (ImportRedirection& function : wanted) {
        for (void** slot : function.slots) {
            if (writeSlot(slot, function.replacement)) continue;
            error = "its import table cannot be changed (VirtualProtect failed, error " +
                    std::to_string(GetLastError()) + ")";
            for (ImportRedirection& undo : wanted) {
                for (size_t i = 0; i < undo.slots.size(); ++i)
                    if (*undo.slots[i] == undo.replacement) writeSlot(undo.slots[i], undo.originals[i]);
                undo.slots.clear();
                undo.originals.clear();
            }
            return Redirected::unchangeable;
        }
    }
    return Redirected::done;
}

void restoreImports(std::vector<ImportRedirection>& redirected) {
    for (ImportRedirection& function : redirected) {
        for (size_t i = 0; i < function.slots.size(); ++i) writeSlot(function.slots[i], function.originals[i]);
        function.slots.clear();
        function.originals.clear();
    }
}

}  // namespace pcimemu::win32
