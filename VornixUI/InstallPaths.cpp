#include "InstallPaths.h"

#include "Product.h"

#include <windows.h>

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

} // namespace

std::string PageAddress() {
    return InstalledFile("file://", "vornixui-popup.htm");
}

std::string HelpPagePath() {
    return InstalledFile("", "index.htm");
}

} // namespace vx
