#include "model/FileKeychain.h"

#include "lib/AtomicFile.h"
#include "lib/Log.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>

#include <algorithm>
#include <cerrno>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace miravel {

namespace {

namespace fs = std::filesystem;

// The parsed items. Passwords are overwritten before the nodes are freed; moves hand the nodes
// over, so no unwiped copy is left behind.
struct Entries {
    std::map<std::pair<std::string, std::string>, std::string> items;

    Entries() = default;
    Entries(Entries&&) noexcept = default;
    ~Entries() {
        for (auto& [key, password] : items) {
            explicit_bzero(password.data(), password.size());
        }
    }

    void set(std::string service, std::string username, std::string password) {
        auto [position, inserted] =
            items.try_emplace({std::move(service), std::move(username)}, std::move(password));
        if (!inserted) {
            explicit_bzero(position->second.data(), position->second.size());
            position->second = std::move(password);
        }
    }

    bool remove(const std::string& service, const std::string& username) {
        const auto found = items.find({service, username});
        if (found == items.end()) {
            return false;
        }
        explicit_bzero(found->second.data(), found->second.size());
        items.erase(found);
        return true;
    }
};

constexpr std::string_view kHeaderPrefix = "miravel-keychain ";
constexpr std::string_view kHeader = "miravel-keychain 1";
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// File contents hold passwords in clear; overwrite them before the memory is released.
struct WipedString {
    std::string text;
    WipedString() = default;
    WipedString(const WipedString&) = delete;
    WipedString& operator=(const WipedString&) = delete;
    ~WipedString() { explicit_bzero(text.data(), text.size()); }
};

std::unexpected<Error> fileError(int errorNumber, std::string description) {
    return makeError(kFileErrorDomain, errorNumber, std::move(description),
                     std::generic_category().message(errorNumber));
}

void encodeField(std::string_view field, std::string& out) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    for (const char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte < 0x7F && byte != '%') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHexDigits[byte >> 4]);
            out.push_back(kHexDigits[byte & 0xF]);
        }
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::string> decodeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte == '%') {
            if (i + 2 >= field.size()) {
                return std::nullopt;
            }
            const int high = hexValue(field[i + 1]);
            const int low = hexValue(field[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (byte > ' ' && byte < 0x7F) {
            out.push_back(field[i]);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

void serialize(const Entries& entries, std::string& out) {
    out.append(kHeader);
    out.push_back('\n');
    for (const auto& [key, password] : entries.items) {
        encodeField(key.first, out);
        out.push_back('\t');
        encodeField(key.second, out);
        out.push_back('\t');
        encodeField(password, out);
        out.push_back('\n');
    }
}

struct ParseFailure {
    // A file from a newer version of the program is not damaged, merely unreadable here; it
    // must not be moved aside, or a downgrade would hide the user's passwords from the upgrade.
    bool newerFormat = false;
    std::string reason;
};

// "miravel-keychain <number>" with a number other than ours; anything else on the first line
// (a stray carriage return, say) is damage, not a future format.
bool isOtherVersionHeader(std::string_view line) {
    if (!line.starts_with(kHeaderPrefix)) {
        return false;
    }
    const std::string_view version = line.substr(kHeaderPrefix.size());
    return !version.empty() &&
           std::all_of(version.begin(), version.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::expected<Entries, ParseFailure> parse(std::string_view text) {
    Entries entries;
    // An empty file (created by hand, say) is an empty keychain, not a damaged one.
    if (text.empty()) {
        return entries;
    }
    if (text.back() != '\n') {
        return std::unexpected(ParseFailure{false, "the last line is incomplete"});
    }
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        ++lineNumber;
        if (lineNumber == 1) {
            if (line == kHeader) {
                continue;
            }
            if (isOtherVersionHeader(line)) {
                return std::unexpected(ParseFailure{true, "it has an unknown format version"});
            }
            return std::unexpected(ParseFailure{false, "the first line is not a keychain header"});
        }
        const std::size_t firstTab = line.find('\t');
        const std::size_t secondTab =
            firstTab == std::string_view::npos ? firstTab : line.find('\t', firstTab + 1);
        if (secondTab == std::string_view::npos ||
            line.find('\t', secondTab + 1) != std::string_view::npos) {
            return std::unexpected(
                ParseFailure{false, fmt::format("line {} does not have three fields", lineNumber)});
        }
        auto service = decodeField(line.substr(0, firstTab));
        auto account = decodeField(line.substr(firstTab + 1, secondTab - firstTab - 1));
        auto password = decodeField(line.substr(secondTab + 1));
        if (!service || !account || !password) {
            return std::unexpected(
                ParseFailure{false, fmt::format("line {} has an invalid character", lineNumber)});
        }
        entries.set(std::move(*service), std::move(*account), std::move(*password));
    }
    return entries;
}

// Reads the whole file into contents; false when there is no file. A file that others may read
// is restricted first, so a secret that leaked through a copy or an editor does not stay exposed.
Result<bool> readPrivateFile(const fs::path& path, WipedString& contents) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return false;
        }
        return fileError(errno, fmt::format("Could not open the keychain file {}.", path.string()));
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return fileError(errno, fmt::format("Could not open the keychain file {}.", path.string()));
    }
    if (!S_ISREG(status.st_mode)) {
        return fileError(S_ISDIR(status.st_mode) ? EISDIR : EINVAL,
                         fmt::format("The keychain file {} is not a regular file.", path.string()));
    }
    const mode_t permissions = status.st_mode & 07777;
    if ((permissions & ~kFileMode) != 0) {
        if (::fchmod(fd.get(), kFileMode) == 0) {
            logLine(
                "Keychain file {} was accessible to others (mode {:04o}); restricted it to 0600",
                path.string(), permissions);
        } else {
            logLine(
                "Keychain file {} is accessible to others (mode {:04o}) and could not be "
                "restricted: {}",
                path.string(), permissions, std::generic_category().message(errno));
        }
    }
    contents.text.clear();
    contents.text.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int readError = errno;
            explicit_bzero(buffer, sizeof buffer);
            return fileError(readError,
                             fmt::format("Could not read the keychain file {}.", path.string()));
        }
        contents.text.append(buffer, static_cast<std::size_t>(count));
    }
    explicit_bzero(buffer, sizeof buffer);
    return true;
}

// Holds an exclusive lock on the lock file until the returned descriptor closes. The keychain
// file itself cannot carry the lock: it is replaced by rename, so two writers would lock
// different inodes.
Result<FileDescriptor> lockExclusively(const fs::path& lockPath) {
    FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, kFileMode));
    if (!fd.valid()) {
        return fileError(
            errno, fmt::format("Could not open the keychain lock file {}.", lockPath.string()));
    }
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return fileError(
                errno, fmt::format("Could not lock the keychain file {}.", lockPath.string()));
        }
    }
    return fd;
}

std::unexpected<Error> newerFormatError(const fs::path& path, std::string reason) {
    return makeError(kFileErrorDomain, EPROTO,
                     fmt::format("The keychain file {} was written by a newer version of Miravel.",
                                 path.string()),
                     std::move(reason));
}

// Reads and parses the file; the caller holds the lock. A damaged file is moved aside and the
// keychain reads as empty, so one bad byte costs the user a re-entered password rather than a
// program that cannot start.
Result<Entries> readRepairing(const fs::path& path) {
    WipedString contents;
    auto exists = readPrivateFile(path, contents);
    if (!exists) {
        return std::unexpected(exists.error());
    }
    if (!*exists) {
        return Entries{};
    }
    auto parsed = parse(contents.text);
    if (parsed) {
        return std::move(*parsed);
    }
    if (parsed.error().newerFormat) {
        return newerFormatError(path, std::move(parsed.error().reason));
    }
    auto aside = keepDamagedFileAside(path);
    if (!aside) {
        return std::unexpected(aside.error());
    }
    logLine("Keychain file {} is damaged ({}); moved it to {} and started an empty keychain",
            path.string(), parsed.error().reason, aside->string());
    return Entries{};
}

// The file is replaced in one step and private from the moment it exists, so a crash leaves
// the old or the new items and no other user ever gets a chance to read them.
Result<void> writeEntries(const fs::path& path, const Entries& entries) {
    WipedString contents;
    serialize(entries, contents.text);
    return writeFileAtomically(path, contents.text, kFileMode);
}

std::optional<KeychainItem> findIn(const Entries& entries, const std::string& service,
                                   const std::string& username) {
    const auto found = entries.items.find({service, username});
    if (found == entries.items.end()) {
        return std::nullopt;
    }
    return KeychainItem(service, username, found->second);
}

}  // namespace

FileKeychain::FileKeychain(fs::path configFolder)
    : m_folder(std::move(configFolder)),
      m_filePath(m_folder / kFileName),
      m_lockPath(m_folder / "keychain.lock"),
      m_backendName("file " + m_filePath.string()) {}

Result<std::optional<KeychainItem>> FileKeychain::findItem(const std::string& service,
                                                           const std::string& username) const {
    // Readers need no lock: the file is only ever replaced whole, so a read sees one version.
    WipedString contents;
    auto exists = readPrivateFile(m_filePath, contents);
    if (!exists) {
        return std::unexpected(exists.error());
    }
    if (!*exists) {
        return std::nullopt;
    }
    auto parsed = parse(contents.text);
    if (parsed) {
        return findIn(*parsed, service, username);
    }
    if (parsed.error().newerFormat) {
        return newerFormatError(m_filePath, std::move(parsed.error().reason));
    }
    // Repair under the lock: a writer may have replaced the file since it was read, and that
    // good replacement must not be what gets moved aside.
    auto lock = lockExclusively(m_lockPath);
    if (!lock) {
        return std::unexpected(lock.error());
    }
    auto repaired = readRepairing(m_filePath);
    if (!repaired) {
        return std::unexpected(repaired.error());
    }
    return findIn(*repaired, service, username);
}

Result<void> FileKeychain::storeItem(const std::string& service, const std::string& username,
                                     const std::string& password) {
    if (auto created = createFolder(m_folder, kFolderMode); !created) {
        return created;
    }
    auto lock = lockExclusively(m_lockPath);
    if (!lock) {
        return std::unexpected(lock.error());
    }
    auto entries = readRepairing(m_filePath);
    if (!entries) {
        return std::unexpected(entries.error());
    }
    entries->set(service, username, password);
    return writeEntries(m_filePath, *entries);
}

Result<void> FileKeychain::removeItem(const std::string& service, const std::string& username) {
    // No file, nothing to remove; and no reason to create the folder just to lock it.
    // An error other than absence (a folder that cannot be searched) falls through to the
    // lock, which reports it.
    std::error_code error;
    if (!fs::exists(m_filePath, error) && !error) {
        return {};
    }
    auto lock = lockExclusively(m_lockPath);
    if (!lock) {
        return std::unexpected(lock.error());
    }
    auto entries = readRepairing(m_filePath);
    if (!entries) {
        return std::unexpected(entries.error());
    }
    if (!entries->remove(service, username)) {
        return {};
    }
    return writeEntries(m_filePath, *entries);
}

}  // namespace miravel
