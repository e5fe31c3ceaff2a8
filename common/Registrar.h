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
    // The value is the program's path as a command line: its short form, or
    // the full path in quotes where there is none.
    kRegModuleCommand = 4u,
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

// The rows of a program's AppID: its name, and its file name pointing back.
#define VX_APPID_ROWS(appId, name, exeName)                                                     \
    {"AppID\\" appId, nullptr, name, 0}, {"AppID\\" exeName, "AppID", appId, 0}

// The rows every class served by a local server writes: both ProgIDs with
// their CLSID, and the class key (replaced) with its AppID, ProgIDs and
// LocalServer32. `progId` is the version-independent one.
#define VX_SERVER_CLASS_ROWS(progId, clsid, name, appId)                                       \
    {progId ".1", nullptr, name, 0}, {progId ".1\\CLSID", nullptr, clsid, 0},                 \
        {progId, nullptr, name, 0}, {progId "\\CLSID", nullptr, clsid, 0},                    \
        {"CLSID\\" clsid, nullptr, name, kRegReplace}, {"CLSID\\" clsid, "AppID", appId, 0}, \
        {"CLSID\\" clsid "\\ProgID", nullptr, progId ".1", 0},                              \
        {"CLSID\\" clsid "\\VersionIndependentProgID", nullptr, progId, 0},                 \
        {"CLSID\\" clsid "\\LocalServer32", nullptr, nullptr, kRegModuleCommand}

// The further rows of a programmable class: CurVer, Programmable (replaced)
// and its type library.
#define VX_PROGRAMMABLE_CLASS_ROWS(progId, clsid, libId)                                       \
    {progId "\\CurVer", nullptr, progId ".1", 0},                                             \
        {"CLSID\\" clsid "\\Programmable", nullptr, nullptr, kRegReplace},                  \
        {"CLSID\\" clsid "\\TypeLib", nullptr, libId, 0}

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

// A program path as a command line: its short form where the file system
// gives one, otherwise the path in quotes, so that a path with spaces
// cannot be read as a shorter program name followed by arguments.
std::string CommandLinePath(const std::string& longPath);

// The program's own full file name.
std::string ModuleFileName();

// Registers the type libraries embedded in the program file (resources
// TYPELIB 1, 2, ...), and removes those registrations again.
HRESULT RegisterOwnTypeLibrary();
HRESULT UnregisterOwnTypeLibrary();

} // namespace vx
