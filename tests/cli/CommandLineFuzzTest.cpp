#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::shellQuoted;
using testing::TemporaryFolder;

// Every verb of the program, driven with arguments drawn at random from words that have
// broken command lines before: empty and huge texts, bytes that are no UTF-8, numbers at
// and past their limits, days that do not exist, stray options. The test asks only that no
// run ends by a signal or hangs; what the verbs answer is for their own tests.
constexpr unsigned kSeed = 20261209;
constexpr int kRunsPerVerb = 4;
constexpr int kRunsAtOnce = 6;
constexpr auto kTimeLimit = std::chrono::seconds(30);

struct Verb {
    std::vector<std::string> words;    // "plan", "add"
    std::vector<std::string> options;  // "--date", "--type"
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The verbs as the overview lists them, so that a verb added later is fuzzed too.
std::vector<Verb> verbsOf(const std::string& overview) {
    std::vector<Verb> verbs;
    const auto lines = linesOf(overview);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].starts_with("  ") || lines[i][2] == ' ' || lines[i][2] == '-') {
            continue;
        }
        const std::string name = lines[i].substr(2, lines[i].find(' ', 2) - 2);
        const std::string next = lines[i + 1];
        if (!next.starts_with("      verbs:")) {
            verbs.push_back({{name}, {}});
            continue;
        }
        std::istringstream words(next.substr(12));
        for (std::string verb; words >> verb;) {
            verbs.push_back({{name, verb}, {}});
        }
    }
    return verbs;
}

// A verb's own options, from its help; never one that opens another program.
std::vector<std::string> optionsOf(const std::string& help) {
    std::vector<std::string> options;
    for (const auto& line : linesOf(help)) {
        if (!line.starts_with("  --")) {
            continue;
        }
        std::string option = line.substr(2, line.find(' ', 2) - 2);
        if (option != "--library" && option != "--help" && option != "--open") {
            options.push_back(option);
        }
    }
    return options;
}

std::vector<std::string> hostileWords(const std::string& uid) {
    return {"Pie",
            "Leek soup",
            uid,
            "",
            " ",
            "0",
            "1",
            "2",
            "3",
            "7",
            "-1",
            "-2",
            "1.5",
            "99999999999999999999",
            "18446744073709551616",
            "1/0",
            "0/0",
            "1 1/2",
            "3/2",
            "½",
            "2026-03-10",
            "2026-02-30",
            "0000-00-00",
            "9999-12-31",
            "2026-03-10 12:00:00",
            "dinner",
            "Snack",
            "brunch",
            "on",
            "off",
            "true",
            "WeekStartDay",
            "SelectedMealType",
            "FontSize",
            "AccountEmail",
            "GroceryListAisles",
            "Desserts",
            "Produce",
            "-",
            "--",
            "-x",
            "--yes",
            "--json",
            "--date=",
            "--type=dinner",
            "%@",
            "%s%n",
            "'",
            "\"",
            "\\",
            "\xff\xfe",
            "\xc3",
            "é",
            "a\nb",
            "\t",
            "1,3,4",
            ",",
            "1-3",
            "out.html",
            "sub/out.html",
            std::string(5000, 'a'),
            std::string(300, '(')};
}

// One run of the program on its own copy of the library, in a folder of its own.
class ChildRun {
public:
    ChildRun(const std::filesystem::path& home, std::vector<std::string> arguments)
        : m_arguments(std::move(arguments)), m_started(std::chrono::steady_clock::now()) {
        const std::string homeText = home.string();
        m_environment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "HOME=" + homeText,
                         "XDG_CONFIG_HOME=" + homeText + "/config",
                         "XDG_DATA_HOME=" + homeText + "/data"};
        std::vector<char*> argv{const_cast<char*>(MIRAVEL_CLI_PATH)};
        for (auto& argument : m_arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& variable : m_environment) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
            if (::chdir(homeText.c_str()) == 0) {
                ::execve(MIRAVEL_CLI_PATH, argv.data(), envp.data());
            }
            ::_exit(127);
        }
    }

    // Nothing while the run goes on; afterwards, what went wrong ("" when nothing did).
    std::optional<std::string> finished() {
        int status = 0;
        if (m_pid < 0) {
            return "could not start";
        }
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - m_started < kTimeLimit) {
                return std::nullopt;
            }
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            return "hung: " + command();
        }
        if (WIFSIGNALED(status)) {
            return "signal " + std::to_string(WTERMSIG(status)) + ": " + command();
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
            return "could not run: " + command();  // else every run would pass unseen
        }
        return std::string();
    }

private:
    std::string command() const {
        std::string text = "miravel";
        for (const auto& argument : m_arguments) {
            text +=
                " " + shellQuoted(argument.size() > 60 ? argument.substr(0, 60) + "..." : argument);
        }
        return text;
    }

    std::vector<std::string> m_arguments;
    std::vector<std::string> m_environment;
    std::chrono::steady_clock::time_point m_started;
    pid_t m_pid = -1;
};

TEST(CommandLineFuzz, noVerbCrashesOrHangsOnHostileArguments) {
    // A library with something in every list, copied for each run.
    TemporaryFolder seed;
    const auto kitchen = seed / "Kitchen";
    auto seeded = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", kitchen.string()});
        auto result = runMiravel(seed.path(), arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments[2] << ": " << result.err;
        return result.out;
    };
    const std::string pie =
        seeded({"recipe", "add", "--name", "Pie", "--ingredients", "2 cups flour\n1 egg"});
    const std::string uid = pie.substr(0, pie.find('\n'));
    seeded({"recipe", "add", "--name", "Leek soup", "--ingredients", "Soup:\n2 leeks"});
    seeded({"category", "add", "Desserts"});
    seeded({"category", "file", "Desserts", "Pie"});
    seeded({"plan", "add", "Pie", "--date", "2026-03-10"});
    seeded({"grocery", "add", "Pie"});
    seeded({"recipe", "add", "--name", "Gone"});
    seeded({"recipe", "delete", "--yes", "Gone"});

    std::vector<Verb> verbs = verbsOf(runMiravel(seed.path(), {"--help"}).out);
    ASSERT_GT(verbs.size(), 30u);
    for (auto& verb : verbs) {
        auto words = verb.words;
        words.push_back("--help");
        verb.options = optionsOf(runMiravel(seed.path(), words).out);
    }

    const auto pool = hostileWords(uid);
    std::mt19937 random(kSeed);
    std::vector<std::vector<std::string>> commands;
    for (const auto& verb : verbs) {
        for (int run = 0; run < kRunsPerVerb; ++run) {
            std::vector<std::string> arguments = verb.words;
            const int count = std::uniform_int_distribution<int>(0, 5)(random);
            for (int word = 0; word < count; ++word) {
                const bool option = !verb.options.empty() && random() % 5 < 2;
                arguments.push_back(option ? verb.options[random() % verb.options.size()]
                                           : pool[random() % pool.size()]);
            }
            commands.push_back(std::move(arguments));
        }
    }

    TemporaryFolder homes;
    std::vector<std::string> faults;
    std::vector<std::unique_ptr<ChildRun>> running;
    std::size_t next = 0;
    while (next < commands.size() || !running.empty()) {
        while (next < commands.size() && running.size() < kRunsAtOnce) {
            const auto home = homes / std::to_string(next);
            std::filesystem::create_directories(home);
            std::filesystem::copy(kitchen, home / "Kitchen",
                                  std::filesystem::copy_options::recursive);
            auto arguments = commands[next++];
            arguments.insert(arguments.begin(), {"--library", (home / "Kitchen").string()});
            running.push_back(std::make_unique<ChildRun>(home, std::move(arguments)));
        }
        for (auto it = running.begin(); it != running.end();) {
            if (auto fault = (*it)->finished()) {
                if (!fault->empty()) {
                    faults.push_back(*fault);
                }
                it = running.erase(it);
            } else {
                ++it;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string report;
    for (const auto& fault : faults) {
        report += fault + "\n";
    }
    EXPECT_TRUE(faults.empty()) << faults.size() << " of " << commands.size() << " runs:\n"
                                << report;
}

}  // namespace
}  // namespace miravel
