#include "FavoriteFolder.h"

#include <shlobj.h>

#include <algorithm>
#include <map>

namespace vx {

namespace {

const wchar_t kShortcutExtension[] = L".url";
constexpr size_t kShortcutExtensionLength = 4;
// Longer than any URL the browser accepts (2083 characters and the
// terminator); a longer value is read in growing buffers up to the limit.
constexpr DWORD kFirstUrlBuffer = 2084;
constexpr DWORD kLastUrlBuffer = 65536;
// A shortcut is a few lines of text. The profile reader goes through the
// whole file for every value asked, so a larger file is not read at all.
constexpr ULONGLONG kLargestShortcut = 64 * 1024;

class ScopedFind {
  public:
    explicit ScopedFind(HANDLE h) : h_(h) {}
    ~ScopedFind() {
        if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;
    HANDLE Get() const { return h_; }
    bool IsValid() const { return h_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE h_;
};

bool EndsWithShortcutExtension(const std::wstring& name) {
    if (name.size() < kShortcutExtensionLength) return false;
    return CompareStringOrdinal(name.c_str() + name.size() - kShortcutExtensionLength, -1,
                                kShortcutExtension, -1, TRUE) == CSTR_EQUAL;
}

bool IsDotEntry(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

bool NameLess(const Favorite& a, const Favorite& b) {
    int order = CompareStringOrdinal(a.name.c_str(), static_cast<int>(a.name.size()),
                                     b.name.c_str(), static_cast<int>(b.name.size()), TRUE);
    if (order != CSTR_EQUAL) return order == CSTR_LESS_THAN;
    return a.name < b.name;
}

// The URL= value of the [InternetShortcut] section, or empty.
std::wstring ReadShortcutUrl(const std::wstring& file) {
    std::wstring url;
    for (DWORD size = kFirstUrlBuffer; size <= kLastUrlBuffer; size *= 2) {
        url.assign(size, L'\0');
        DWORD n =
            GetPrivateProfileStringW(L"InternetShortcut", L"URL", L"", &url[0], size, file.c_str());
        // A value that filled the buffer may have been cut short.
        if (n < size - 1) {
            url.resize(n);
            return url;
        }
    }
    // Too long for any browser: no usable address.
    return std::wstring();
}

// Shortcuts already read, by path, with the time and size they had then.
// The agent walks all favourites again after any change in the folder, so
// reading each file again every time would cost a file open per favourite; a
// changed file has a new time or size and is read again.
class ShortcutCache {
  public:
    std::wstring Url(const std::wstring& path, const WIN32_FIND_DATAW& data) {
        Stamp stamp{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime,
                    data.nFileSizeLow, data.nFileSizeHigh};
        AcquireSRWLockExclusive(&lock_);
        auto it = entries_.find(path);
        bool fresh = it != entries_.end() && it->second.stamp == stamp;
        std::wstring url = fresh ? it->second.url : std::wstring();
        ReleaseSRWLockExclusive(&lock_);
        if (fresh) return url;
        url = ReadShortcutUrl(path);
        AcquireSRWLockExclusive(&lock_);
        entries_[path] = Entry{stamp, url};
        ReleaseSRWLockExclusive(&lock_);
        return url;
    }

  private:
    struct Stamp {
        DWORD timeLow, timeHigh, sizeLow, sizeHigh;
        bool operator==(const Stamp& o) const {
            return timeLow == o.timeLow && timeHigh == o.timeHigh && sizeLow == o.sizeLow &&
                   sizeHigh == o.sizeHigh;
        }
    };
    struct Entry {
        Stamp stamp;
        std::wstring url;
    };
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::map<std::wstring, Entry> entries_;
};

ShortcutCache gShortcuts;

} // namespace

std::wstring FavoritesFolderPath() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_FAVORITES, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

std::vector<Favorite> ReadFavoriteFolder(const std::wstring& folder) {
    std::vector<Favorite> folders;
    std::vector<Favorite> shortcuts;
    if (folder.empty()) return folders;

    std::wstring prefix = folder;
    if (prefix.back() != L'\\' && prefix.back() != L'/') prefix += L'\\';
    std::wstring pattern = prefix + L"*";
    WIN32_FIND_DATAW data;
    ScopedFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, 0));
    if (!find.IsValid()) return folders;
    do {
        if (IsDotEntry(data.cFileName)) continue;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A linked folder may lead back to its own parent, and the agent
            // walks every group it is given.
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            folders.push_back(Favorite{name, std::wstring(), true});
            continue;
        }
        if (!EndsWithShortcutExtension(name)) continue;
        const ULONGLONG size =
            (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size > kLargestShortcut) continue;
        Favorite shortcut{name.substr(0, name.size() - kShortcutExtensionLength),
                          gShortcuts.Url(prefix + name, data), false};
        if (shortcut.name.empty() && shortcut.url.empty()) continue;
        shortcuts.push_back(std::move(shortcut));
    } while (FindNextFileW(find.Get(), &data));

    std::sort(folders.begin(), folders.end(), NameLess);
    std::sort(shortcuts.begin(), shortcuts.end(), NameLess);
    folders.insert(folders.end(), std::make_move_iterator(shortcuts.begin()),
                   std::make_move_iterator(shortcuts.end()));
    return folders;
}

} // namespace vx
