#include "lib/ResourceFolder.h"

#include <cerrno>
#include <system_error>

namespace miravel {

Result<std::filesystem::path> resourceFolder() {
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return makeError(kFileErrorDomain, error.value(),
                         "Could not find the running program's location: " + error.message());
    }
    std::filesystem::path folder = executable.parent_path().parent_path() / "share" / "miravel";
    if (!std::filesystem::is_directory(folder, error)) {
        return makeError(kFileErrorDomain, ENOENT,
                         "The program's resources are missing (expected the folder \"" +
                             folder.string() + "\").");
    }
    return folder;
}

Result<std::filesystem::path> resourcePath(const std::filesystem::path& name) {
    auto folder = resourceFolder();
    if (!folder) {
        return folder;
    }
    std::filesystem::path path = *folder / name;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return makeError(kFileErrorDomain, ENOENT,
                         "The program's resource \"" + path.string() + "\" is missing.");
    }
    return path;
}

}  // namespace miravel
