// COM registration as data: a table of keys and values under
// HKEY_CLASSES_ROOT, written and removed by one walker each.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

enum RegistryEntryFlags : unsigned {
    // The key is deleted with its whole subtree before anything is written.
    kRegReplace = 1u,
    // The value is the program's own path (short form) instead of `value`.
    kRegModulePath = 2u,
};

// One row: a key under HKEY_CLASSES_ROOT and, optionally, one value of it.
// A row with neither `value` nor kRegModulePath only makes the key exist.
struct RegistryEntry {
    const char* key;
    const char* valueName; // null: the key's default value
    const char* value;     // REG_SZ text
    unsigned flags;
};

struct RegistryTable {
    const RegistryEntry* entries;
    size_t count;
};

template <size_t N> constexpr RegistryTable MakeRegistryTable(const RegistryEntry (&rows)[N]) {
    return RegistryTable{rows, N};
}

// Deletes every replaced key, then writes every row in order. Returns the
// first registry error as an HRESULT.
HRESULT WriteRegistryTable(const RegistryTable& table);

// Deletes every key named in the table with all that lies below it. Keys
// that are already gone are no failure; nothing above the named keys is
// touched.
void RemoveRegistryTable(const RegistryTable& table);

// The program's path for LocalServer32: its short (8.3) form where the file
// system gives one, otherwise the full path.
std::string ModuleServerPath();

// The program's own full file name.
std::string ModuleFileName();

// Registers the type library embedded in the program file (resource
// TYPELIB 1), and removes that registration again.
HRESULT RegisterOwnTypeLibrary();
HRESULT UnregisterOwnTypeLibrary();

} // namespace vx
