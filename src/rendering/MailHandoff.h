#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace miravel {

class UserSettings;

// Opens an address with the desktop's handler for it (a "mailto:" address in the mail
// program, a web page in the browser).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when no handler could be started.
    virtual bool openUrl(const std::string& url) = 0;
    // xdg-open, started without a shell.
    static std::shared_ptr<UrlOpener> desktop();
};

// Hands a message to the user's mail program: the system composes no mail itself, it opens
// "mailto:RECIPIENTS?subject=SUBJECT&body=BODY".
class MailHandoff {
public:
    // The default recipients come from the "DefaultEmail" of `settings`, which outlive it.
    MailHandoff(std::shared_ptr<UrlOpener> opener, const UserSettings& settings);
    virtual ~MailHandoff() = default;

    // The address opened for a message; recipients absent means `defaultEmail` (the
    // "DefaultEmail" setting) split at ",".
    static std::string mailtoUrl(const std::string& body, const std::string& subject,
                                 const std::optional<std::vector<std::string>>& recipients,
                                 std::string_view defaultEmail);
    // The addresses of a "DefaultEmail" text: split at ",", trimmed, empty pieces dropped.
    static std::vector<std::string> defaultRecipients(std::string_view defaultEmail);
    // UTF-8 bytes outside the characters a URL query may hold as they are (letters, digits,
    // "-._~!$'()*+,;=:@/?") as %XX; "&" and "#", which would end the value, among them.
    static std::string percentEscapeForQuery(std::string_view text);

    // emailWithContent:subject:attachments:recipients: — opens the message; with attachments,
    // showAttachment() is given the first one so that the user can drag it into the message.
    bool emailWithContent(const std::string& body, const std::string& subject,
                          const std::vector<std::filesystem::path>& attachments,
                          const std::optional<std::vector<std::string>>& recipients);

protected:
    // The desktop shows a small window with the file to drag; the command line prints it.
    virtual void showAttachment(const std::filesystem::path& file) { (void)file; }

private:
    std::shared_ptr<UrlOpener> m_opener;
    const UserSettings& m_settings;
};

// Prints a complete HTML page (60-point margins left and right, 40 top and bottom). The
// desktop prints through the toolkit; the command line writes the page to a file.
class PrintHandoff {
public:
    virtual ~PrintHandoff() = default;
    virtual void printHtml(const std::string& html) = 0;
};

}  // namespace miravel
