#include "rendering/MailHandoff.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "lib/Log.h"
#include "lib/TextPieces.h"
#include "model/UserSettings.h"

// POSIX leaves declaring it to the program; glibc declares it only under _GNU_SOURCE.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace miravel {

namespace {

class DesktopUrlOpener : public UrlOpener {
public:
    bool openUrl(const std::string& url) override {
        std::string program = "xdg-open";
        std::string argument = url;
        char* arguments[] = {program.data(), argument.data(), nullptr};
        pid_t child = 0;
        // No shell: the address is one argument whatever characters it holds.
        const int error = ::posix_spawnp(&child, "xdg-open", nullptr, nullptr, arguments, environ);
        if (error != 0) {
            logLine("Could not start xdg-open: {}", std::strerror(error));
            return false;
        }
        // xdg-open hands the address to the desktop's handler and returns; its status tells
        // whether there was one.
        int status = 0;
        while (::waitpid(child, &status, 0) < 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

bool staysInQuery(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("-._~!$'()*+,;=:@/?", c) != nullptr;
}

}  // namespace

std::shared_ptr<UrlOpener> UrlOpener::desktop() {
    return std::make_shared<DesktopUrlOpener>();
}

MailHandoff::MailHandoff(std::shared_ptr<UrlOpener> opener, const UserSettings& settings)
    : m_opener(std::move(opener)), m_settings(settings) {}

std::string MailHandoff::percentEscapeForQuery(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (staysInQuery(c) && c != 0) {
            escaped += ch;
        } else {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0x0F];
        }
    }
    return escaped;
}

std::vector<std::string> MailHandoff::defaultRecipients(std::string_view defaultEmail) {
    std::vector<std::string> recipients;
    std::size_t start = 0;
    while (start <= defaultEmail.size()) {
        std::size_t comma = defaultEmail.find(',', start);
        if (comma == std::string_view::npos) {
            comma = defaultEmail.size();
        }
        if (auto address =
                std::string(trimCharacters(defaultEmail.substr(start, comma - start), " \t\r\n"));
            !address.empty()) {
            recipients.push_back(std::move(address));
        }
        start = comma + 1;
    }
    return recipients;
}

std::string MailHandoff::mailtoUrl(const std::string& body, const std::string& subject,
                                   const std::optional<std::vector<std::string>>& recipients,
                                   std::string_view defaultEmail) {
    const auto to = recipients ? *recipients : defaultRecipients(defaultEmail);
    return "mailto:" + joined(to, ",") + "?subject=" + percentEscapeForQuery(subject) +
           "&body=" + percentEscapeForQuery(body);
}

bool MailHandoff::emailWithContent(const std::string& body, const std::string& subject,
                                   const std::vector<std::filesystem::path>& attachments,
                                   const std::optional<std::vector<std::string>>& recipients) {
    const std::string defaultEmail = recipients ? "" : m_settings.text(kDefaultEmailKey);
    const bool opened = m_opener->openUrl(mailtoUrl(body, subject, recipients, defaultEmail));
    if (!attachments.empty()) {
        showAttachment(attachments.front());
    }
    return opened;
}

}  // namespace miravel
