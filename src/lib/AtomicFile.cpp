#include "lib/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 mode_t mode, Flush flush) {
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
    if (const int failed = writeAll(fd.get(), bytes); failed != 0) {
        errno = failed;
        return discard("Could not write");
    }
    if (flush == Flush::Now && ::fsync(fd.get()) != 0) {
        return discard("Could not flush");
    }
    if (::close(fd.release()) != 0) {
        return discard("Could not close");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return discard("Could not replace");
    }
    if (flush == Flush::Now) {
        flushFolder(folder);
    }
    return {};
}

std::optional<Timestamp> fileModificationTime(const std::filesystem::path& path) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    return std::chrono::time_point_cast<std::chrono::microseconds>(
        std::chrono::file_clock::to_sys(time));
}

Result<void> flushFileSystemOf(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return fileError("Could not open", path, errno);
    }
    if (::syncfs(fd.get()) != 0) {
        return fileError("Could not flush the files written beside", path, errno);
    }
    return {};
}

Result<std::string> readFile(const std::filesystem::path& path, const ReadOptions& options) {
    // O_NONBLOCK only matters for a FIFO, which is then refused instead of waited on.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (options.regularFileOnly ? O_NONBLOCK : 0);
    FileDescriptor fd(::open(path.c_str(), flags));
    if (fd.get() < 0) {
        return fileError("Could not read", path, errno);
    }
    return readFileDescriptor(fd.get(), path, options);
}

Result<std::string> readFileDescriptor(int fd, const std::filesystem::path& name,
                                       const ReadOptions& options) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return fileError("Could not read", name, errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return fileError("Could not read", name, EISDIR);
    }
    if (options.regularFileOnly && !S_ISREG(status.st_mode)) {
        return makeError(kFileErrorDomain, EINVAL,
                         "Could not read \"" + name.string() +
                             "\": not a regular file (a pipe, device or socket)");
    }
    std::string bytes;
    if (S_ISREG(status.st_mode) && status.st_size > 0) {
        bytes.reserve(std::min(static_cast<std::size_t>(status.st_size), options.maxBytes));
    }
    char buffer[65536];
    while (bytes.size() < options.maxBytes || !options.prefixOnly) {
        // One byte past the limit is enough to know the file is longer.
        const std::size_t wanted =
            std::min(sizeof buffer, options.maxBytes - bytes.size() + (options.prefixOnly ? 0 : 1));
        const ssize_t count = ::read(fd, buffer, wanted);
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fileError("Could not read", name, errno);
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (bytes.size() > options.maxBytes) {
            return fileError("Could not read", name, EFBIG);
        }
    }
    return bytes;
}

Result<std::filesystem::path> makePrivateTemporaryFolder(std::string_view prefix) {
    // Only an absolute $TMPDIR: a relative one would scatter folders wherever we stand.
    const char* variable = std::getenv("TMPDIR");
    std::filesystem::path base = variable != nullptr && variable[0] == '/' ? variable : "/tmp";
    std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return fileError("Could not create a private folder in", base, errno);
    }
    return std::filesystem::path(pattern);
}

Result<void> writePrivateFile(const std::filesystem::path& path, std::string_view bytes) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return fileError("Could not replace", path, errno);
    }
    FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        return fileError("Could not create", path, errno);
    }
    int failed = writeAll(fd.get(), bytes);
    if (failed == 0 && ::close(fd.release()) != 0) {
        failed = errno;
    }
    if (failed != 0) {
        ::unlink(path.c_str());
        return fileError("Could not write", path, failed);
    }
    return {};
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

Result<void> flushFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) {
        return fileError("Could not flush", path, errno);
    }
    return {};
}

void flushFolder(const std::filesystem::path& folder) {
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) {
        ::fsync(folderFd.get());
    }
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
