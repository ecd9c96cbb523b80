#include "cli/Handoffs.h"

#include "lib/AtomicFile.h"

namespace miravel::cli {

namespace {

class PrintingUrlOpener : public UrlOpener {
public:
    explicit PrintingUrlOpener(std::ostream& out) : m_out(out) {}
    bool openUrl(const std::string& url) override {
        m_out << url << "\n";
        return true;
    }

private:
    std::ostream& m_out;
};

}  // namespace

void CommandLinePrintHandoff::printHtml(const std::string& html) {
    if (m_file) {
        m_result = writeFileAtomically(*m_file, html);
    } else {
        m_out << html << "\n";
    }
}

bool outputFileOption(const Invocation& invocation, std::optional<std::filesystem::path>& file,
                      int& code) {
    if (auto output = invocation.option("output")) {
        if (output->empty()) {
            code = invocation.usageError("--output needs a file name.");
            return false;
        }
        file = *output;
    }
    return true;
}

std::shared_ptr<UrlOpener> mailUrlOpener(const Invocation& invocation) {
    if (invocation.has("open")) {
        return UrlOpener::desktop();
    }
    return std::make_shared<PrintingUrlOpener>(invocation.out);
}

}  // namespace miravel::cli
