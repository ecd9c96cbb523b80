#pragma once

#include <fmt/format.h>

#include <functional>
#include <string>
#include <string_view>

#include "lib/Error.h"

namespace miravel {

// One plain line per event, no levels. Lines go to standard error unless a sink is set
// (tests capture them; the desktop may mirror them).
using LogSink = std::function<void(std::string_view line)>;

void writeLogLine(std::string_view line);

// Replaces the destination of log lines; an empty sink restores standard error.
// Returns the previous sink.
LogSink setLogSink(LogSink sink);

template <typename... Args>
void logLine(fmt::format_string<Args...> format, Args&&... args) {
    writeLogLine(fmt::format(format, std::forward<Args>(args)...));
}

// A failure met where nothing better can be done than to carry on (a list stays as it was,
// a value stays unread): "Unresolved error DOMAIN CODE, DESCRIPTION".
inline void logUnresolvedError(const Error& error) {
    logLine("Unresolved error {} {}, {}", error.domain, error.code, error.description);
}

}  // namespace miravel
