// The Browser pane's memory beside a bare QWebEngineView, and whether the engine's helper
// processes end with the program. Each case is a child process (this program with --child
// CASE); it loads, settles, reports the resident and proportional memory of itself and every
// descendant, names its descendants, and quits the way the program does. The parent then
// checks that none of the named processes is still alive.
//   bench_browser_memory PAGE.html    (run offscreen; as root with QTWEBENGINE_DISABLE_SANDBOX=1)
#include <unistd.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEngineView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "desktop/BrowserPane.h"
#include "desktop/DesktopApplication.h"
#include "desktop/MainWindow.h"
#include "desktop/QtText.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/MemoryKeychain.h"
#include "model/UserSettings.h"

using namespace miravel;
using namespace miravel::desktop;

namespace {

long statusKiB(pid_t pid, const std::string& file, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return 0;
}

pid_t parentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

std::vector<pid_t> descendants(pid_t root) {
    std::vector<pid_t> found{root};
    bool grew = true;
    while (grew) {
        grew = false;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            const pid_t pid = std::stoi(name);
            if (std::find(found.begin(), found.end(), pid) == found.end() &&
                std::find(found.begin(), found.end(), parentOf(pid)) != found.end()) {
                found.push_back(pid);
                grew = true;
            }
        }
    }
    return found;
}

// A process that still runs; a zombie waiting for its new parent to reap it has ended.
bool running(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

void settle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// "rss KIB pss KIB processes N pids P1,P2,..." for this process and its descendants.
void report() {
    long rss = 0;
    long pss = 0;
    std::string pids;
    const auto tree = descendants(::getpid());
    for (pid_t pid : tree) {
        rss += statusKiB(pid, "status", "VmRSS:");
        pss += statusKiB(pid, "smaps_rollup", "Pss:");
        if (pid != ::getpid()) {
            pids += (pids.empty() ? "" : ",") + std::to_string(pid);
        }
    }
    std::printf("rss %ld pss %ld processes %zu pids %s\n", rss, pss, tree.size(), pids.c_str());
    std::fflush(stdout);
}

int child(const std::string& which, const QString& page) {
    MainQueue::shared().adoptCurrentThreadAsMain();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int argc = 1;
    char name[] = "bench_browser_memory";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QUrl url = QUrl::fromLocalFile(page);
    if (which == "empty" || which == "view") {
        QWebEngineView view;
        view.resize(1100, 720);
        view.show();
        if (which == "view") {
            QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
            view.load(url);
            loaded.wait(30000);
        }
        settle(3000);
        report();
        return 0;
    }
    const auto home =
        std::filesystem::temp_directory_path() / ("bench-browser-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    UserSettings settings(home / "Settings.json", &NotificationCenter::defaultCenter());
    settings.setBoolean(kAutomaticBackupsKey, false);
    settings.setBoolean(kWelcomeDisplayedKey, true);
    MemoryKeychain keychain;
    int status = 1;
    {
        DesktopApplication desktop(home / "Library", settings, keychain,
                                   NotificationCenter::defaultCenter(), MainQueue::shared());
        if (desktop.launch() && desktop.mainWindow() != nullptr) {
            MainWindow& window = *desktop.mainWindow();
            window.showBrowserPane();
            if (BrowserPane* pane = window.browserPane()) {
                QSignalSpy loaded(pane, &BrowserPane::pageLoaded);
                settle(500);  // the home page's load starts and fails (no network)
                pane->load(ss(url.toString()));
                loaded.wait(30000);
                settle(3000);
                report();
                status = 0;
            }
            // Quit as the program does: the main window closes and the event loop ends.
            window.close();
            QApplication::exec();
        }
    }
    std::filesystem::remove_all(home);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child") {
        return child(argv[2], QString::fromLocal8Bit(argv[3]));
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_browser_memory PAGE.html\n");
        return 2;
    }
    int failures = 0;
    std::printf("| case | RSS, process tree | PSS, process tree | processes | left after quit |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const char* which : {"empty", "view", "pane"}) {
        const std::string command = std::string("\"") + argv[0] + "\" --child " + which + " \"" +
                                    argv[1] + "\" 2>/dev/null";
        FILE* out = ::popen(command.c_str(), "r");
        char line[4096] = {};
        long rss = 0;
        long pss = 0;
        int processes = 0;
        char pids[3000] = {};
        while (std::fgets(line, sizeof line, out) != nullptr) {
            std::sscanf(line, "rss %ld pss %ld processes %d pids %2999s", &rss, &pss, &processes,
                        pids);
        }
        const int status = ::pclose(out);
        // Give the engine's helpers a moment, then look for any that outlived the program.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        int left = 0;
        std::stringstream list(pids);
        std::string pid;
        while (std::getline(list, pid, ',')) {
            if (!pid.empty() && running(std::stoi(pid))) {
                ++left;
            }
        }
        failures += left + (status != 0 ? 1 : 0);
        std::printf("| %s | %.1f MiB | %.1f MiB | %d | %d%s |\n", which, rss / 1024.0, pss / 1024.0,
                    processes, left, status != 0 ? " (child failed)" : "");
    }
    return failures == 0 ? 0 : 1;
}
