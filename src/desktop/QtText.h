#pragma once

#include <QString>
#include <filesystem>
#include <string>

namespace miravel::desktop {

// The core speaks UTF-8 std::string and std::filesystem::path; Qt speaks QString.
inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}
inline QString qs(const char* text) {
    return QString::fromUtf8(text);
}
inline std::string ss(const QString& text) {
    return text.toStdString();
}
inline QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}
inline std::filesystem::path fspath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

}  // namespace miravel::desktop
