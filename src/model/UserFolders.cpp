#include "model/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace miravel {

namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    return "/";
}

std::filesystem::path xdgFolder(const char* variable, const char* fallbackBelowHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    return homeFolder() / fallbackBelowHome;
}

}  // namespace

std::filesystem::path defaultLibraryFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") / "Miravel";
}

std::filesystem::path configFolder() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") / "Miravel";
}

}  // namespace miravel
