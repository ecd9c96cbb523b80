#include "cli/CommandLine.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/Utf8.h"
#include "model/UserFolders.h"

namespace miravel::cli {

std::optional<std::string> Invocation::option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) {
        return std::nullopt;
    }
    return it->second;
}

int Invocation::usageError(const std::string& message) const {
    err << commandName << ": " << message << "\n"
        << "Try \"" << commandName << " --help\".\n";
    return kExitUsage;
}

int Invocation::failure(const std::string& message) const {
    err << commandName << ": " << message << "\n";
    return kExitFailure;
}

namespace {

// Text that is not UTF-8 would be stored as given and make every JSON document that holds it
// unreadable, so it is refused where it enters, naming the argument by its usage word.
int checkArgumentText(const Invocation& invocation, const std::string& usage) {
    std::vector<std::string> words;
    for (std::size_t start = 0; start < usage.size();) {
        const std::size_t end = std::min(usage.find(' ', start), usage.size());
        words.push_back(usage.substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t i = 0; i < invocation.arguments.size(); ++i) {
        if (!isValidUtf8(invocation.arguments[i])) {
            const std::string word = words.empty() ? "argument " + std::to_string(i + 1)
                                                   : words[std::min(i, words.size() - 1)];
            return invocation.usageError(word + " is not valid UTF-8 text.");
        }
    }
    return kExitOk;
}

// "-x" and "--name" are options; "-" (standard input by custom) and "-2" are not, so a
// negative number still reaches the verb that reads it. Anything else that starts with "-"
// is read as an option the verb does not know, rather than as a stray argument.
bool looksLikeOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

}  // namespace

Confirmation confirm(const Invocation& invocation, const std::string& question) {
    if (invocation.has("yes")) {
        return Confirmation::Yes;
    }
    if (::isatty(STDIN_FILENO) == 0) {
        invocation.usageError(question +
                              "\nThere is no terminal to answer on: add --yes to go ahead.");
        return Confirmation::Refused;
    }
    invocation.err << question << " [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    const bool yes = answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    if (!yes) {
        invocation.err << "Nothing was changed.\n";
    }
    return yes ? Confirmation::Yes : Confirmation::No;
}

CommandLine::CommandLine(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

void CommandLine::add(VerbSpec verb) {
    m_verbs.push_back(std::move(verb));
}

const VerbSpec* CommandLine::find(const std::string& noun, const std::string& verb) const {
    for (const auto& spec : m_verbs) {
        if (spec.noun == noun && spec.verb == verb) {
            return &spec;
        }
    }
    return nullptr;
}

bool CommandLine::isNoun(const std::string& word) const {
    return std::any_of(m_verbs.begin(), m_verbs.end(), [&](const VerbSpec& spec) {
        return !spec.noun.empty() && spec.noun == word;
    });
}

void CommandLine::printOverview(std::ostream& stream) const {
    stream << "Usage: miravel [--library DIR] COMMAND [ARGUMENTS]\n\n"
              "Miravel keeps a library of recipes. Commands:\n";
    std::vector<std::string> seen;
    for (const auto& spec : m_verbs) {
        if (spec.noun.empty()) {
            stream << "  " << spec.verb << (spec.arguments.empty() ? "" : " " + spec.arguments)
                   << "\n      " << spec.summary << "\n";
        } else if (std::find(seen.begin(), seen.end(), spec.noun) == seen.end()) {
            seen.push_back(spec.noun);
            stream << "  " << spec.noun << " VERB\n      verbs:";
            for (const auto& other : m_verbs) {
                if (other.noun == spec.noun) {
                    stream << " " << other.verb;
                }
            }
            stream << "\n";
        }
    }
    stream << "\nOptions of every command:\n"
              "  --library DIR   the library (files folder) to use; default "
           << defaultLibraryFolder().string()
           << "\n"
              "  --help          describe the command\n"
              "  --version       print the program's version\n\n"
              "Exit status: 0 done, 1 failed, 2 wrong usage.\n";
}

void CommandLine::printNounHelp(std::ostream& stream, const std::string& noun) const {
    stream << "Usage: miravel [--library DIR] " << noun << " VERB [ARGUMENTS]\n\nVerbs:\n";
    for (const auto& spec : m_verbs) {
        if (spec.noun == noun) {
            stream << "  " << spec.verb << (spec.arguments.empty() ? "" : " " + spec.arguments)
                   << "\n      " << spec.summary << "\n";
        }
    }
}

void CommandLine::printVerbHelp(std::ostream& stream, const VerbSpec& verb) const {
    stream << "Usage: miravel [--library DIR] " << (verb.noun.empty() ? "" : verb.noun + " ")
           << verb.verb << (verb.options.empty() ? "" : " [OPTIONS]")
           << (verb.arguments.empty() ? "" : " " + verb.arguments) << "\n\n"
           << verb.summary << "\n";
    stream << "\nOptions:\n";
    if (!verb.options.empty()) {
        for (const auto& option : verb.options) {
            std::string left =
                "--" + option.name + (option.valueName.empty() ? "" : " " + option.valueName);
            stream << "  " << left << std::string(left.size() < 18 ? 18 - left.size() : 1, ' ')
                   << option.help << "\n";
        }
    }
    stream << "  --library DIR     the library (files folder) to use\n"
              "  --read-only       open the library without changing anything in it\n"
              "  --help            show this text\n";
}

int CommandLine::run(const std::vector<std::string>& argv) {
    // The options every verb takes may stand anywhere; the rest are words and verb options.
    CommonOptions common;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (word == "--library") {
            if (i + 1 >= argv.size() || argv[i + 1].empty()) {
                m_err << "miravel: --library needs a folder.\n";
                return kExitUsage;
            }
            common.library = argv[++i];
        } else if (word.starts_with("--library=")) {
            common.library = word.substr(10);
            if (common.library->empty()) {
                m_err << "miravel: --library needs a folder.\n";
                return kExitUsage;
            }
        } else if (word == "--read-only") {
            common.readOnly = true;
        } else if (word == "--help" || word == "-h") {
            common.help = true;
        } else if (word == "--version" && words.empty()) {
            m_out << "miravel " << MIRAVEL_VERSION << "\n";
            return kExitOk;
        } else {
            words.push_back(word);
        }
    }
    if (words.empty() || (words[0] == "help" && words.size() == 1)) {
        printOverview(m_out);
        return kExitOk;
    }
    if (words[0] == "help") {
        words.erase(words.begin());
        common.help = true;
    }
    if (const VerbSpec* verb = find("", words[0])) {
        return runVerb(*verb, {words.begin() + 1, words.end()}, common);
    }
    if (!isNoun(words[0])) {
        m_err << "miravel: unknown command \"" << words[0] << "\".\n\n";
        printOverview(m_err);
        return kExitUsage;
    }
    const std::string& noun = words[0];
    if (words.size() < 2) {
        printNounHelp(common.help ? m_out : m_err, noun);
        return common.help ? kExitOk : kExitUsage;
    }
    const VerbSpec* verb = find(noun, words[1]);
    if (verb == nullptr) {
        m_err << "miravel " << noun << ": unknown verb \"" << words[1] << "\".\n\n";
        printNounHelp(m_err, noun);
        return kExitUsage;
    }
    return runVerb(*verb, {words.begin() + 2, words.end()}, common);
}

int CommandLine::runVerb(const VerbSpec& verb, const std::vector<std::string>& words,
                         const CommonOptions& common) {
    if (common.help) {
        printVerbHelp(m_out, verb);
        return kExitOk;
    }
    Invocation invocation{
        common.library.value_or(defaultLibraryFolder()), {}, {}, m_out, m_err, ""};
    invocation.access = verb.access;
    invocation.libraryNamed = common.library.has_value();
    invocation.readOnly = common.readOnly;
    invocation.commandName = "miravel " + (verb.noun.empty() ? "" : verb.noun + " ") + verb.verb;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !looksLikeOption(word)) {
            invocation.arguments.push_back(word);
            continue;
        }
        if (!word.starts_with("--")) {
            return invocation.usageError("unknown option " + word + ".");
        }
        std::string name = word.substr(2);
        std::optional<std::string> value;
        if (auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        auto spec = std::find_if(verb.options.begin(), verb.options.end(),
                                 [&](const OptionSpec& option) { return option.name == name; });
        if (spec == verb.options.end()) {
            return invocation.usageError("unknown option --" + name + ".");
        }
        if (spec->valueName.empty()) {
            if (value) {
                return invocation.usageError("--" + name + " takes no value.");
            }
            invocation.options[name] = "";
            continue;
        }
        if (!value) {
            if (i + 1 >= words.size()) {
                return invocation.usageError("--" + name + " needs a value (" + spec->valueName +
                                             ").");
            }
            value = words[++i];
        }
        // A file's name is the file system's business; every other value is text we keep.
        if (spec->valueName != "FILE" && !isValidUtf8(*value)) {
            return invocation.usageError("--" + name + " is not valid UTF-8 text.");
        }
        invocation.options[name] = *value;
    }
    if (int code = checkArgumentText(invocation, verb.arguments); code != kExitOk) {
        return code;
    }
    if (invocation.arguments.size() < verb.minArguments ||
        invocation.arguments.size() > verb.maxArguments) {
        return invocation.usageError(invocation.arguments.size() < verb.minArguments
                                         ? "missing arguments."
                                         : "too many arguments.");
    }
    const int code = verb.run(invocation);
    return invocation.libraryDamaged ? kExitFailure : code;
}

Result<std::string> readInputFile(const std::string& file) {
    if (file != "-") {
        return readFile(file);
    }
    std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad()) {
        return makeError(kFileErrorDomain, EIO, "Could not read standard input.");
    }
    return text;
}

}  // namespace miravel::cli
