#include "InstallPaths.h"

#include "common/Product.h"
#include "common/TextForms.h"

#include <windows.h>
#include <shlwapi.h>

namespace vx {

namespace {

std::string ProgramFilesFolder() {
    DWORD size = GetEnvironmentVariableA("ProgramFiles", nullptr, 0);
    if (size > 1) {
        std::string folder(size, '\0');
        DWORD n = GetEnvironmentVariableA("ProgramFiles", &folder[0], size);
        if (n > 0 && n < size) {
            folder.resize(n);
            return folder;
        }
    }
    return "C:\\Program Files";
}

std::string InstalledFile(const char* prefix, const char* fileName) {
    std::string path = prefix;
    path += ProgramFilesFolder();
    path += kInstallSubFolder;
    path += '\\';
    path += fileName;
    if (path.size() >= MAX_PATH) return std::string();
    return path;
}

const char kPageFile[] = "vornixui-popup.htm";
const char kHelpFile[] = "index.htm";

// "." and ".." resolved and '/' made '\'; empty when it does not fit.
std::wstring FullPath(const wchar_t* path) {
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(full, n);
}

// Whether url names the file at path: a "file:" URL or, as the browser
// reports some local files, a drive-letter path. Other computers' files
// ("file://host/share/...") have UNC paths and never match.
bool IsUrlOf(const std::wstring& url, const std::string& path) {
    if (path.empty() || url.find(L'\0') != std::wstring::npos) return false;
    std::wstring named = url;
    if (url.size() >= 5 && CompareStringOrdinal(url.c_str(), 5, L"file:", 5, TRUE) == CSTR_EQUAL) {
        wchar_t local[MAX_PATH];
        DWORD size = MAX_PATH;
        if (PathCreateFromUrlW(url.c_str(), local, &size, 0) != S_OK) return false;
        named = local;
    } else if (url.size() < 3 || !iswalpha(url[0]) || url[1] != L':' ||
               (url[2] != L'\\' && url[2] != L'/')) {
        return false;
    }
    const std::wstring mine = FullPath(WidenText(path).c_str());
    const std::wstring theirs = FullPath(named.c_str());
    return !mine.empty() && !theirs.empty() &&
           CompareStringOrdinal(mine.c_str(), -1, theirs.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

std::string PageAddress() {
    return InstalledFile("file://", kPageFile);
}

std::string HelpPagePath() {
    return InstalledFile("", kHelpFile);
}

bool IsPanelPage(const std::wstring& url) {
    return IsUrlOf(url, InstalledFile("", kPageFile));
}

bool IsPanelAddress(const std::wstring& url) {
    if (CompareStringOrdinal(url.c_str(), static_cast<int>(url.size()), L"about:blank", -1,
                             TRUE) == CSTR_EQUAL)
        return true;
    return IsPanelPage(url) || IsUrlOf(url, HelpPagePath());
}

} // namespace vx
