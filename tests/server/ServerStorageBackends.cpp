#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include <fmt/format.h>

#include "ServerFixture.h"

namespace miravel::server::testing {

namespace {

// Runs a program (as the postgres user when we are root: PostgreSQL refuses to run as root)
// and waits for it; its output goes to `logFile`.
int runProgram(std::vector<std::string> arguments, const std::filesystem::path& logFile) {
    if (::geteuid() == 0) {
        arguments.insert(arguments.begin(), {"runuser", "-u", "postgres", "--"});
    }
    const pid_t child = ::fork();
    if (child == 0) {
        std::FILE* log = std::fopen(logFile.c_str(), "a");
        if (log) {
            ::dup2(::fileno(log), STDOUT_FILENO);
            ::dup2(::fileno(log), STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::filesystem::path postgresBinaries() {
    if (const char* given = std::getenv("MIRAVEL_PG_BINDIR")) {
        return given;
    }
    std::vector<std::filesystem::path> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
        if (std::filesystem::exists(entry.path() / "bin" / "initdb")) {
            found.push_back(entry.path() / "bin");
        }
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? std::filesystem::path() : found.back();
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A server for the tests: the one MIRAVEL_TEST_POSTGRES names (the CI script starts one for
// the whole run), else a private cluster this process makes in a temporary folder, listening
// on 127.0.0.1 only, removed when the process ends.
class PostgresCluster {
public:
    static PostgresCluster& shared() {
        static PostgresCluster cluster;
        return cluster;
    }

    const std::string& unavailableReason() const { return m_reason; }

    // A new, empty database of its own for one test.
    std::string newDatabase() {
        static std::atomic<int> counter = 0;
        const std::string name = fmt::format("miravel_test_{}_{}", ::getpid(), ++counter);
        if (!execute(fmt::format("CREATE DATABASE {}", name))) {
            return {};
        }
        return m_base + "/" + name;
    }

    void dropDatabase(const std::string& address) {
        const auto slash = address.rfind('/');
        execute(fmt::format("DROP DATABASE IF EXISTS {} WITH (FORCE)", address.substr(slash + 1)));
    }

    ~PostgresCluster() {
        if (!m_data.empty()) {
            runProgram({(m_binaries / "pg_ctl").string(), "-D", m_data.string(), "-m", "immediate",
                        "-w", "stop"},
                       m_folder / "pg_ctl.log");
        }
        if (!m_folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
        }
    }

private:
    PostgresCluster() {
        if (const char* given = std::getenv("MIRAVEL_TEST_POSTGRES"); given && *given) {
            m_base = given;
            while (!m_base.empty() && m_base.back() == '/') {
                m_base.pop_back();
            }
            if (!execute("SELECT 1")) {
                m_reason = "PostgreSQL at MIRAVEL_TEST_POSTGRES cannot be reached: " + m_lastError;
            }
            return;
        }
        start();
    }

    void start() {
        m_binaries = postgresBinaries();
        if (m_binaries.empty()) {
            m_reason = "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)";
            return;
        }
        char pattern[] = "/tmp/miravel-pg-XXXXXX";
        if (!::mkdtemp(pattern)) {
            m_reason = "no temporary folder for a PostgreSQL cluster";
            return;
        }
        m_folder = pattern;
        if (::geteuid() == 0) {
            const passwd* user = ::getpwnam("postgres");
            if (!user || ::chown(m_folder.c_str(), user->pw_uid, user->pw_gid) != 0) {
                m_reason = "running as root without a postgres user to run PostgreSQL as";
                return;
            }
        }
        const auto log = m_folder / "setup.log";
        const auto data = m_folder / "data";
        if (runProgram({(m_binaries / "initdb").string(), "-D", data.string(), "-A", "trust", "-U",
                        "miravel", "-E", "UTF8", "--locale=C", "--no-sync"},
                       log) != 0) {
            m_reason = "initdb failed; see " + log.string();
            return;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int port = freePort();
            const std::string options = fmt::format(
                "-h 127.0.0.1 -p {} -k {} -F -c max_connections=200", port, m_folder.string());
            if (runProgram(
                    {(m_binaries / "pg_ctl").string(), "-D", data.string(), "-l",
                     (m_folder / "server.log").string(), "-o", options, "-w", "-t", "30", "start"},
                    log) == 0) {
                m_data = data;
                m_base = fmt::format("postgresql://miravel@127.0.0.1:{}", port);
                if (execute("SELECT 1")) {
                    return;
                }
            }
        }
        m_reason =
            "the PostgreSQL cluster did not start; see " + (m_folder / "server.log").string();
    }

    bool execute(const std::string& sql) {
        std::lock_guard lock(m_mutex);
        PGconn* connection = PQconnectdb((m_base + "/postgres").c_str());
        bool ok = PQstatus(connection) == CONNECTION_OK;
        if (ok) {
            PGresult* result = PQexec(connection, sql.c_str());
            ok = PQresultStatus(result) == PGRES_COMMAND_OK ||
                 PQresultStatus(result) == PGRES_TUPLES_OK;
            if (!ok) {
                m_lastError = PQresultErrorMessage(result);
            }
            PQclear(result);
        } else {
            m_lastError = PQerrorMessage(connection);
        }
        PQfinish(connection);
        return ok;
    }

    std::mutex m_mutex;
    std::filesystem::path m_binaries;
    std::filesystem::path m_folder;
    std::filesystem::path m_data;
    std::string m_base;
    std::string m_reason;
    std::string m_lastError;
};

}  // namespace

std::string databaseAddressFor(const std::string& backend, const std::filesystem::path& folder) {
    if (backend == "sqlite") {
        return "sqlite:" + (folder / "server.db").string();
    }
    if (backend == "postgresql") {
        return PostgresCluster::shared().newDatabase();
    }
    return {};
}

void releaseDatabase(const std::string& backend, const std::string& address) {
    if (backend == "postgresql" && !address.empty()) {
        PostgresCluster::shared().dropDatabase(address);
    }
}

std::string backendUnavailableReason(const std::string& backend) {
    if (backend == "sqlite") {
        return {};
    }
    if (backend == "postgresql") {
        return PostgresCluster::shared().unavailableReason();
    }
    return "unknown storage " + backend;
}

std::vector<std::string> rowsOf(const std::string& backend, const std::string& address,
                                const std::string& sql) {
    std::vector<std::string> rows;
    if (backend == "sqlite") {
        const std::string file = address.substr(std::string_view("sqlite:").size());
        sqlite3* database = nullptr;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(database);
        }
        int status = SQLITE_DONE;
        while (statement && (status = sqlite3_step(statement)) == SQLITE_ROW) {
            std::string row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const auto* text = sqlite3_column_text(statement, column);
                row += (column > 0 ? "|" : "") +
                       std::string(text ? reinterpret_cast<const char*>(text) : "");
            }
            rows.push_back(std::move(row));
        }
        if (status != SQLITE_DONE) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(database);
        }
        sqlite3_finalize(statement);
        sqlite3_close(database);
        return rows;
    }
    PGconn* connection = PQconnectdb(address.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        ADD_FAILURE() << PQerrorMessage(connection);
        PQfinish(connection);
        return rows;
    }
    PGresult* result = PQexec(connection, sql.c_str());
    if (PQresultStatus(result) == PGRES_TUPLES_OK) {
        for (int i = 0; i < PQntuples(result); ++i) {
            std::string row;
            for (int column = 0; column < PQnfields(result); ++column) {
                row += (column > 0 ? "|" : "") + std::string(PQgetvalue(result, i, column));
            }
            rows.push_back(std::move(row));
        }
    } else if (PQresultStatus(result) != PGRES_COMMAND_OK) {
        ADD_FAILURE() << sql << ": " << PQresultErrorMessage(result);
    }
    PQclear(result);
    PQfinish(connection);
    return rows;
}

}  // namespace miravel::server::testing
