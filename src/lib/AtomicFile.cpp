#include "lib/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

namespace miravel {

namespace {

std::unexpected<Error> fileError(const std::string& what, const std::filesystem::path& path,
                                 int errorNumber) {
    return makeError(kFileErrorDomain, errorNumber,
                     what + " \"" + path.string() + "\": " + std::strerror(errorNumber));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

}  // namespace

Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 mode_t mode) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    // mkstemp creates the file 0600; fchmod widens it only when asked, so a secret is never
    // readable by others, not even for an instant.
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) {
        return fileError("Could not create a temporary file beside", path, errno);
    }
    auto discard = [&](const std::string& what) {
        int saved = errno;
        ::unlink(temporary.c_str());
        return fileError(what, path, saved);
    };
    if (::fchmod(fd.get(), mode) != 0) {
        return discard("Could not set the permissions of");
    }
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd.get(), data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return discard("Could not write");
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd.get()) != 0) {
        return discard("Could not flush");
    }
    if (::close(fd.release()) != 0) {
        return discard("Could not close");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return discard("Could not replace");
    }
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) {
        ::fsync(folderFd.get());
    }
    return {};
}

Result<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return fileError("Could not open", path, errno != 0 ? errno : ENOENT);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        return fileError("Could not read", path, errno != 0 ? errno : EIO);
    }
    return std::move(bytes).str();
}

Result<void> createFolder(const std::filesystem::path& path, mode_t mode) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return {};
    }
    if (path.has_parent_path() && path.parent_path() != path) {
        if (auto parent = createFolder(path.parent_path(), mode); !parent) {
            return parent;
        }
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        return fileError("Could not create the folder", path, errno);
    }
    if (!std::filesystem::is_directory(path, error)) {
        return fileError("Expected a folder at", path, ENOTDIR);
    }
    return {};
}

Result<std::filesystem::path> keepDamagedFileAside(const std::filesystem::path& path) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::filesystem::path aside = path;
    aside += std::string(".damaged-") + stamp;
    for (int attempt = 2; std::filesystem::exists(aside); ++attempt) {
        aside = path;
        aside += std::string(".damaged-") + stamp + "-" + std::to_string(attempt);
    }
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        return fileError("Could not move aside", path, errno);
    }
    return aside;
}

}  // namespace miravel
