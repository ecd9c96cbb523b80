#include "lib/Log.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace miravel {

namespace {
std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}
LogSink& currentSink() {
    static LogSink sink;
    return sink;
}
}  // namespace

void writeLogLine(std::string_view line) {
    std::lock_guard lock(sinkMutex());
    if (currentSink()) {
        currentSink()(line);
        return;
    }
    // One fwrite per line keeps lines from different threads whole.
    std::string text(line);
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(sinkMutex());
    return std::exchange(currentSink(), std::move(sink));
}

}  // namespace miravel
