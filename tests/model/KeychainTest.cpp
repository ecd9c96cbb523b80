#include "model/Keychain.h"

#include "lib/ApplicationIdentifier.h"
#include "lib/Log.h"
#include "model/FileKeychain.h"
#include "model/MemoryKeychain.h"
#include "model/SecretServiceKeychain.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace miravel {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "miravel-keychain-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

class LogCapture {
public:
    LogCapture() {
        m_previous = setLogSink([this](std::string_view line) { m_lines.emplace_back(line); });
    }
    ~LogCapture() { setLogSink(std::move(m_previous)); }

    const std::vector<std::string>& lines() const { return m_lines; }

private:
    LogSink m_previous;
    std::vector<std::string> m_lines;
};

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (m_old) {
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

mode_t permissionsOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::string& bytes, fs::perms mode) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    fs::permissions(path, mode);
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> passwordOf(const Keychain& keychain, const std::string& service,
                                      const std::string& username) {
    auto found = keychain.genericKeychainItemForService(service, username);
    EXPECT_TRUE(found.has_value()) << found.error().description;
    if (!found || !*found) {
        return std::nullopt;
    }
    EXPECT_EQ((*found)->service, service);
    EXPECT_EQ((*found)->username, username);
    return (*found)->password();
}

#define ASSERT_OK(expression)                                            \
    do {                                                                 \
        const auto result_ = (expression);                               \
        ASSERT_TRUE(result_.has_value()) << result_.error().description; \
    } while (false)

// --- Behaviour shared by every implementation -------------------------------------------------

struct FileBackend {
    static std::unique_ptr<Keychain> open(const fs::path& folder) {
        return std::make_unique<FileKeychain>(folder);
    }
    static constexpr bool kPersistent = true;
};

struct MemoryBackend {
    static std::unique_ptr<Keychain> open(const fs::path&) {
        return std::make_unique<MemoryKeychain>();
    }
    static constexpr bool kPersistent = false;
};

template <typename Backend>
class KeychainBehaviour : public ::testing::Test {
protected:
    Keychain& keychain() { return *m_keychain; }

    // What another process would see: a new instance over the same storage when the storage
    // outlives the object, the same instance otherwise.
    const Keychain& reader() {
        if constexpr (Backend::kPersistent) {
            m_readers.push_back(Backend::open(m_folder.path() / "config"));
            return *m_readers.back();
        } else {
            return *m_keychain;
        }
    }

private:
    TemporaryFolder m_folder;
    std::unique_ptr<Keychain> m_keychain = Backend::open(m_folder.path() / "config");
    std::vector<std::unique_ptr<Keychain>> m_readers;
};

class BackendNames {
public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, FileBackend> ? "File" : "Memory";
    }
};

using Backends = ::testing::Types<FileBackend, MemoryBackend>;
TYPED_TEST_SUITE(KeychainBehaviour, Backends, BackendNames);

TYPED_TEST(KeychainBehaviour, addsFindsAndRemovesAnItem) {
    EXPECT_EQ(passwordOf(this->reader(), "sync.example.com", "alice"), std::nullopt);
    ASSERT_OK(this->keychain().removeFromKeychain("sync.example.com", "alice"));

    ASSERT_OK(this->keychain().addGenericKeychainItemForService("sync.example.com", "alice", "s3"));
    auto found = this->reader().genericKeychainItemForService("sync.example.com", "alice");
    ASSERT_TRUE(found.has_value() && found->has_value());
    EXPECT_EQ(**found, KeychainItem("sync.example.com", "alice", "s3"));

    ASSERT_OK(this->keychain().removeFromKeychain(**found));
    EXPECT_EQ(passwordOf(this->reader(), "sync.example.com", "alice"), std::nullopt);
    ASSERT_OK(this->keychain().removeFromKeychain(**found));
}

TYPED_TEST(KeychainBehaviour, addingAnExistingItemReplacesItsPassword) {
    ASSERT_OK(this->keychain().addGenericKeychainItemForService("svc", "alice", "old password"));
    ASSERT_OK(this->keychain().addGenericKeychainItemForService("svc", "alice", "new"));
    EXPECT_EQ(passwordOf(this->reader(), "svc", "alice"), "new");

    // One removal leaves nothing behind: the replacement did not keep a second copy.
    ASSERT_OK(this->keychain().removeFromKeychain("svc", "alice"));
    EXPECT_EQ(passwordOf(this->reader(), "svc", "alice"), std::nullopt);
}

TYPED_TEST(KeychainBehaviour, keepsServicesAndAccountsApart) {
    // Pairs whose naive concatenations collide ("ab"+"c" and "a"+"bc", separators inside names).
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"sync.example.com", "alice"},
        {"sync.example.com", "bob"},
        {"mail.example.com", "alice"},
        {"ab", "c"},
        {"a", "bc"},
        {"a\tb", "c"},
        {"a", "b\tc"},
        {"a b", "c"},
        {"a", "b c"},
        {"a\nb", "c"},
        {"a", "b\nc"},
        {"", "alice"},
        {"sync.example.com", ""},
    };
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_OK(this->keychain().addGenericKeychainItemForService(
            keys[i].first, keys[i].second, "password " + std::to_string(i)));
    }
    ASSERT_OK(this->keychain().removeFromKeychain(keys[0].first, keys[0].second));

    const Keychain& reader = this->reader();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "key " << i);
        const auto expected =
            i == 0 ? std::nullopt : std::optional<std::string>("password " + std::to_string(i));
        EXPECT_EQ(passwordOf(reader, keys[i].first, keys[i].second), expected);
    }
}

TYPED_TEST(KeychainBehaviour, keepsEveryByteOfPasswordsAndAccounts) {
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte) {
        everyByte.push_back(static_cast<char>(byte));
    }
    const struct {
        const char* label;
        std::string value;
    } cases[] = {
        {"empty", ""},
        {"quotes", R"(he said "it's fine")"},
        {"newlines", "first\nsecond\r\nthird\n"},
        {"backslashes", R"(C:\new\"quoted\"\)"},
        {"tabs and percent signs", "50%\t%41%%\t"},
        {"spaces at the ends", "  padded  "},
        {"non-ASCII", "Crème brûlée 🍮 пароль"},
        {"NUL byte", std::string("before\0after", 12)},
        {"invalid UTF-8", "\xff\xfe\x80\xc3"},
        {"looks like a file header", "miravel-keychain 1\n"},
        {"every byte value", everyByte},
        {"long", std::string(20000, 'x')},
    };
    // The value doubles as the account name, so accounts get the same treatment.
    for (const auto& c : cases) {
        ASSERT_OK(this->keychain().addGenericKeychainItemForService("bytes", c.value, c.value));
    }
    const Keychain& reader = this->reader();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(passwordOf(reader, "bytes", c.value), c.value);
    }
}

// --- The file keychain --------------------------------------------------------------------------

class FileKeychainTest : public ::testing::Test {
protected:
    fs::path rootFolder() const { return m_root.path(); }
    fs::path configFolder() const { return m_root.path() / "config" / "miravel"; }
    fs::path keychainFile() const { return configFolder() / FileKeychain::kFileName; }

private:
    TemporaryFolder m_root;
};

TEST_F(FileKeychainTest, storesInAPrivateFileInsideNewPrivateFolders) {
    // The result must not depend on the umask the program happens to inherit.
    for (const mode_t mask : {mode_t{022}, mode_t{0}, mode_t{077}}) {
        SCOPED_TRACE(testing::Message() << "umask " << std::oct << mask);
        fs::remove_all(rootFolder() / "config");
        ScopedUmask umask(mask);
        FileKeychain keychain(configFolder());

        EXPECT_EQ(passwordOf(keychain, "svc", "alice"), std::nullopt);
        EXPECT_FALSE(fs::exists(rootFolder() / "config")) << "a lookup created the folder";

        ASSERT_OK(keychain.addGenericKeychainItemForService("svc", "alice", "one"));
        EXPECT_EQ(permissionsOf(rootFolder() / "config"), 0700u);
        EXPECT_EQ(permissionsOf(configFolder()), 0700u);
        EXPECT_EQ(permissionsOf(keychainFile()), 0600u);

        ASSERT_OK(keychain.addGenericKeychainItemForService("svc", "alice", "two"));
        ASSERT_OK(keychain.addGenericKeychainItemForService("svc", "bob", "three"));
        ASSERT_OK(keychain.removeFromKeychain("svc", "bob"));
        EXPECT_EQ(permissionsOf(keychainFile()), 0600u);
        // No temporary files left behind by the replacements.
        EXPECT_EQ(namesIn(configFolder()),
                  (std::vector<std::string>{"keychain.lock", FileKeychain::kFileName}));
        EXPECT_EQ(keychain.backendName(), "file " + keychainFile().string());
    }
}

TEST_F(FileKeychainTest, restrictsAFileOthersCouldRead) {
    const struct {
        fs::perms mode;
        mode_t expected;
        bool logged;
    } cases[] = {
        {fs::perms(0644), 0600, true},
        {fs::perms(0640), 0600, true},
        {fs::perms(0604), 0600, true},
        {fs::perms(0666), 0600, true},
        {fs::perms(0600), 0600, false},
        {fs::perms(0400), 0400, false},  // already private: not the keychain's to loosen
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << std::oct << static_cast<int>(c.mode));
        writeBytes(keychainFile(), "miravel-keychain 1\nsvc\talice\tsecret\n", c.mode);
        LogCapture log;
        FileKeychain keychain(configFolder());

        EXPECT_EQ(passwordOf(keychain, "svc", "alice"), "secret");
        EXPECT_EQ(permissionsOf(keychainFile()), c.expected);
        ASSERT_EQ(log.lines().size(), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_NE(log.lines()[0].find(keychainFile().string()), std::string::npos)
                << log.lines()[0];
        }
    }
}

TEST_F(FileKeychainTest, movesADamagedFileAsideAndStartsEmpty) {
    const std::string header = "miravel-keychain 1\n";
    const struct {
        const char* label;
        std::string contents;
    } cases[] = {
        {"binary garbage", std::string("\0\x01\xff garbage", 12)},
        {"no header", "svc\talice\tsecret\n"},
        {"another program's JSON", R"({"svc": {"alice": "secret"}})"
                                   "\n"},
        {"last line cut off", header + "svc\talice\tsec"},
        {"raw space", header + "svc\talice\tsec ret\n"},
        {"raw control byte", header + "svc\talice\tsec\x01ret\n"},
        {"carriage return line ends", "miravel-keychain 1\r\nsvc\talice\tsecret\r\n"},
        {"invalid escape", header + "svc\talice\t%G1\n"},
        {"escape cut short", header + "svc\talice\tsecret%4\n"},
        {"two fields", header + "svc\talice\n"},
        {"four fields", header + "svc\talice\tsecret\textra\n"},
        {"empty line", header + "svc\talice\tsecret\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(configFolder());
        writeBytes(keychainFile(), c.contents, fs::perms(0600));
        LogCapture log;
        FileKeychain keychain(configFolder());

        EXPECT_EQ(passwordOf(keychain, "svc", "alice"), std::nullopt);

        const auto names = namesIn(configFolder());
        const auto aside = std::find_if(names.begin(), names.end(), [](const std::string& name) {
            return name.starts_with(std::string(FileKeychain::kFileName) + ".damaged-");
        });
        ASSERT_NE(aside, names.end());
        EXPECT_EQ(readBytes(configFolder() / *aside), c.contents) << "the damaged file was altered";
        EXPECT_FALSE(fs::exists(keychainFile()));
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find(*aside), std::string::npos) << log.lines()[0];

        ASSERT_OK(keychain.addGenericKeychainItemForService("svc", "alice", "fresh"));
        EXPECT_EQ(passwordOf(FileKeychain(configFolder()), "svc", "alice"), "fresh");
        EXPECT_TRUE(fs::exists(configFolder() / *aside));
    }
}

TEST_F(FileKeychainTest, aDamagedFileFoundWhileWritingIsAlsoKept) {
    writeBytes(keychainFile(), "not a keychain\n", fs::perms(0600));
    FileKeychain keychain(configFolder());
    LogCapture log;

    ASSERT_OK(keychain.addGenericKeychainItemForService("svc", "alice", "fresh"));
    EXPECT_EQ(passwordOf(keychain, "svc", "alice"), "fresh");
    EXPECT_EQ(log.lines().size(), 1u);

    // A second damaged file moments later must not overwrite the first copy.
    writeBytes(keychainFile(), "damaged again\n", fs::perms(0600));
    ASSERT_OK(keychain.removeFromKeychain("svc", "alice"));
    std::vector<std::string> keptContents;
    for (const auto& name : namesIn(configFolder())) {
        if (name.find(".damaged-") != std::string::npos) {
            keptContents.push_back(readBytes(configFolder() / name));
        }
    }
    std::sort(keptContents.begin(), keptContents.end());
    EXPECT_EQ(keptContents, (std::vector<std::string>{"damaged again\n", "not a keychain\n"}));
}

TEST_F(FileKeychainTest, leavesAFileFromANewerVersionUntouched) {
    const std::string contents = "miravel-keychain 2\nwhatever comes next\n";
    writeBytes(keychainFile(), contents, fs::perms(0600));
    FileKeychain keychain(configFolder());

    auto found = keychain.genericKeychainItemForService("svc", "alice");
    ASSERT_FALSE(found.has_value());
    EXPECT_EQ(found.error().domain, kFileErrorDomain);
    EXPECT_NE(found.error().description.find(keychainFile().string()), std::string::npos);

    EXPECT_FALSE(keychain.addGenericKeychainItemForService("svc", "alice", "x").has_value());
    EXPECT_FALSE(keychain.removeFromKeychain("svc", "alice").has_value());
    EXPECT_EQ(readBytes(keychainFile()), contents);
    EXPECT_EQ(namesIn(configFolder()),
              (std::vector<std::string>{"keychain.lock", FileKeychain::kFileName}));
}

TEST_F(FileKeychainTest, reportsFileSystemFailuresWithThePath) {
    // The config folder is a regular file: nothing can be stored below it.
    writeBytes(rootFolder() / "config", "", fs::perms(0600));
    FileKeychain blocked(rootFolder() / "config" / "miravel");
    auto added = blocked.addGenericKeychainItemForService("svc", "alice", "x");
    ASSERT_FALSE(added.has_value());
    EXPECT_EQ(added.error().domain, kFileErrorDomain);
    EXPECT_NE(added.error().description.find((rootFolder() / "config").string()), std::string::npos)
        << added.error().description;

    // The keychain file is a folder: lookups must fail rather than report "no password".
    fs::remove(rootFolder() / "config");
    fs::create_directories(keychainFile());
    FileKeychain keychain(configFolder());
    auto found = keychain.genericKeychainItemForService("svc", "alice");
    ASSERT_FALSE(found.has_value());
    EXPECT_EQ(found.error().domain, kFileErrorDomain);
    EXPECT_NE(found.error().description.find(keychainFile().string()), std::string::npos)
        << found.error().description;
    EXPECT_FALSE(keychain.addGenericKeychainItemForService("svc", "alice", "x").has_value());
    EXPECT_TRUE(fs::is_directory(keychainFile()));
}

TEST_F(FileKeychainTest, instancesSharingAFolderSeeEachOthersChanges) {
    FileKeychain first(configFolder());
    FileKeychain second(configFolder());
    EXPECT_EQ(passwordOf(second, "svc", "alice"), std::nullopt);

    ASSERT_OK(first.addGenericKeychainItemForService("svc", "alice", "from first"));
    EXPECT_EQ(passwordOf(second, "svc", "alice"), "from first");

    ASSERT_OK(second.addGenericKeychainItemForService("svc", "alice", "from second"));
    ASSERT_OK(second.addGenericKeychainItemForService("svc", "bob", "bob's"));
    EXPECT_EQ(passwordOf(first, "svc", "alice"), "from second");

    // A writer holding an old picture of the file must not undo the other's items.
    ASSERT_OK(first.removeFromKeychain("svc", "alice"));
    EXPECT_EQ(passwordOf(second, "svc", "alice"), std::nullopt);
    EXPECT_EQ(passwordOf(second, "svc", "bob"), "bob's");
}

TEST_F(FileKeychainTest, concurrentWritersLoseNoItems) {
    constexpr int kWriters = 4;
    constexpr int kItemsEach = 25;
    std::atomic<int> failures = 0;
    std::latch start(kWriters);
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.emplace_back([this, writer, &failures, &start] {
            // Separate instances, as in separate processes: only the files are shared.
            FileKeychain keychain(configFolder());
            start.arrive_and_wait();
            for (int item = 0; item < kItemsEach; ++item) {
                const auto account = fmt::format("writer {} item {}", writer, item);
                if (!keychain.addGenericKeychainItemForService("svc", account, account)) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : writers) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    FileKeychain reader(configFolder());
    int lost = 0;
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int item = 0; item < kItemsEach; ++item) {
            const auto account = fmt::format("writer {} item {}", writer, item);
            if (passwordOf(reader, "svc", account) != account) {
                ++lost;
            }
        }
    }
    EXPECT_EQ(lost, 0);
}

// --- Choosing the system keychain ----------------------------------------------------------------

TEST(KeychainFactory, usesTheFileWithoutASessionBus) {
    TemporaryFolder folder;
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    auto keychain = Keychain::systemKeychain(folder.path());
    EXPECT_EQ(keychain->backendName(),
              "file " + (folder.path() / FileKeychain::kFileName).string());
    ASSERT_OK(keychain->addGenericKeychainItemForService("svc", "alice", "secret"));
    EXPECT_EQ(passwordOf(FileKeychain(folder.path()), "svc", "alice"), "secret");
}

TEST(KeychainFactory, fallsBackQuicklyWhenTheBusDoesNotAnswer) {
    TemporaryFolder folder;
    // A socket that accepts connections into its backlog but never speaks: without a deadline
    // the D-Bus handshake would wait forever.
    const fs::path socketPath = folder.path() / "silent-bus";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    const struct {
        const char* label;
        std::string address;
    } cases[] = {
        {"silent socket", "unix:path=" + socketPath.string()},
        {"missing socket", "unix:path=" + (folder.path() / "no-bus").string()},
        {"malformed address", "this is not an address"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", c.address.c_str());
        const auto start = std::chrono::steady_clock::now();
        auto keychain = Keychain::systemKeychain(folder.path() / "config");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_TRUE(keychain->backendName().starts_with("file ")) << keychain->backendName();
    }
    ::close(listener);
}

// --- The Secret Service -------------------------------------------------------------------------

TEST(SecretServiceKeychain, refusesNamesTheServiceCannotCarry) {
    // Checked before any D-Bus traffic, so this runs without a bus.
    SecretServiceKeychain keychain;
    const std::pair<std::string, std::string> keys[] = {
        {"\xff\xfe", "alice"},
        {"svc", std::string("ali\0ce", 6)},
    };
    for (const auto& [service, username] : keys) {
        auto found = keychain.genericKeychainItemForService(service, username);
        ASSERT_FALSE(found.has_value());
        EXPECT_EQ(found.error().domain, kKeychainErrorDomain);
        auto added = keychain.addGenericKeychainItemForService(service, username, "x");
        ASSERT_FALSE(added.has_value());
        EXPECT_EQ(added.error().domain, kKeychainErrorDomain);
        EXPECT_FALSE(keychain.removeFromKeychain(service, username).has_value());
    }
}

TEST(SecretServiceKeychain, storesFindsReplacesAndRemovesAPassword) {
    if (!SecretServiceKeychain::isAvailable()) {
        GTEST_SKIP() << "no Secret Service on the session bus";
    }
    TemporaryFolder folder;
    EXPECT_EQ(Keychain::systemKeychain(folder.path())->backendName(), "Secret Service");

    SecretServiceKeychain keychain;
    const std::string service = fmt::format("{}.test-{}", kApplicationIdentifier, ::getpid());
    const std::string binary("bytes\0\xff", 7);

    ASSERT_OK(keychain.addGenericKeychainItemForService(service, "alice", "first"));
    ASSERT_OK(keychain.addGenericKeychainItemForService(service, "alice", binary));
    EXPECT_EQ(passwordOf(keychain, service, "alice"), binary);
    EXPECT_EQ(passwordOf(keychain, service, "bob"), std::nullopt);

    ASSERT_OK(keychain.removeFromKeychain(service, "alice"));
    EXPECT_EQ(passwordOf(keychain, service, "alice"), std::nullopt);
    ASSERT_OK(keychain.removeFromKeychain(service, "alice"));
}

}  // namespace
}  // namespace miravel
