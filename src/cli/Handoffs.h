#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "lib/Error.h"
#include "rendering/MailHandoff.h"

namespace miravel::cli {

// Printing from the command line: the page goes to the --output file, or to standard output.
class CommandLinePrintHandoff : public PrintHandoff {
public:
    CommandLinePrintHandoff(std::optional<std::filesystem::path> file, std::ostream& out)
        : m_file(std::move(file)), m_out(out) {}
    void printHtml(const std::string& html) override;
    const Result<void>& result() const { return m_result; }

private:
    std::optional<std::filesystem::path> m_file;
    std::ostream& m_out;
    Result<void> m_result;
};

// The --output FILE of the print verbs: nothing for standard output; an empty name is a usage
// error (returned through `code`).
bool outputFileOption(const Invocation& invocation, std::optional<std::filesystem::path>& file,
                      int& code);

// The mail verbs open the address with --open; without it they show it.
std::shared_ptr<UrlOpener> mailUrlOpener(const Invocation& invocation);

}  // namespace miravel::cli
