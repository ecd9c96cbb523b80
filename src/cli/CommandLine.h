#pragma once

#include <expected>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ingredients/RCRationalNumber.h"
#include "lib/Error.h"

namespace miravel::cli {

// Exit codes of every verb.
enum ExitCode : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// What a verb does with the library. One that only reads it works on a read-only library,
// and is refused a library that does not exist rather than starting an empty one there.
enum class LibraryAccess { Writes, Reads };

struct OptionSpec {
    std::string name;       // without the leading "--"
    std::string valueName;  // empty for a flag
    std::string help;
};

// What a verb is given: the files folder to work on, its positional arguments and options,
// and where to write.
struct Invocation {
    std::filesystem::path library;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> options;
    std::ostream& out;
    std::ostream& err;

    bool has(const std::string& option) const { return options.contains(option); }
    std::optional<std::string> option(const std::string& name) const;
    // Reports a usage error for this verb and returns kExitUsage.
    int usageError(const std::string& message) const;
    // Reports a failure and returns kExitFailure.
    int failure(const std::string& message) const;

    std::string commandName;  // "miravel settings get", for messages
    LibraryAccess access = LibraryAccess::Writes;
    bool libraryNamed = false;  // given with --library, rather than the default folder
    bool readOnly = false;      // --read-only
    // Set when the library turned out damaged while the verb ran (already reported): its
    // result cannot be trusted, whatever the verb returned.
    bool libraryDamaged = false;
};

struct VerbSpec {
    std::string noun;  // empty for verbs of their own, such as "info"
    std::string verb;
    std::string arguments;  // shown in the usage line, e.g. "KEY VALUE"
    std::string summary;
    std::vector<OptionSpec> options;
    std::size_t minArguments = 0;
    std::size_t maxArguments = 0;
    std::function<int(Invocation&)> run;
    LibraryAccess access = LibraryAccess::Writes;
};

// The miravel command line: nouns with verbs under them ("miravel settings get KEY"), the
// options every verb takes (--library DIR, --read-only, --help), and the exit codes 0, 1 and 2.
class CommandLine {
public:
    CommandLine(std::ostream& out, std::ostream& err);

    void add(VerbSpec verb);
    int run(const std::vector<std::string>& argv);

private:
    const VerbSpec* find(const std::string& noun, const std::string& verb) const;
    bool isNoun(const std::string& word) const;
    void printOverview(std::ostream& stream) const;
    void printNounHelp(std::ostream& stream, const std::string& noun) const;
    void printVerbHelp(std::ostream& stream, const VerbSpec& verb) const;
    struct CommonOptions {
        std::optional<std::filesystem::path> library;
        bool readOnly = false;
        bool help = false;
    };
    int runVerb(const VerbSpec& verb, const std::vector<std::string>& words,
                const CommonOptions& common);

    std::ostream& m_out;
    std::ostream& m_err;
    std::vector<VerbSpec> m_verbs;
};

// A question before a step that cannot be taken back. --yes answers it; otherwise it is asked
// on the terminal. With no terminal to ask on (a script, a pipe), the verb refuses with a
// usage message that names --yes, rather than guess.
enum class Confirmation { Yes, No, Refused };
Confirmation confirm(const Invocation& invocation, const std::string& question);
inline const OptionSpec kYesOption{"yes", "", "do not ask for confirmation"};

// Each noun's verbs, registered by the file that implements them.
void addInfoVerbs(CommandLine& commandLine);
void addSettingsVerbs(CommandLine& commandLine);
void addRecipeVerbs(CommandLine& commandLine);
void addRecipeEditVerbs(CommandLine& commandLine);
void addClipVerb(CommandLine& commandLine);
void addBookmarkVerbs(CommandLine& commandLine);
void addRecipeListVerbs(CommandLine& commandLine);
void addCategoryVerbs(CommandLine& commandLine);
void addScaleVerbs(CommandLine& commandLine);
void addIngredientVerbs(CommandLine& commandLine);
void addPlanVerbs(CommandLine& commandLine);
void addPlanEditVerbs(CommandLine& commandLine);
void addGroceryVerbs(CommandLine& commandLine);
void addImportVerbs(CommandLine& commandLine);
void addTrashVerbs(CommandLine& commandLine);
void addSyncVerbs(CommandLine& commandLine);
void addRepairVerbs(CommandLine& commandLine);
void addBackupVerbs(CommandLine& commandLine);

// A scale factor as a user types it, in the forms ingredient amounts are written in: "3/2",
// "2", "1 1/2", "1.5", "½". Otherwise why it is none, as the end of a sentence that starts
// with the text ("is too large").
std::expected<RCRationalNumber, std::string> parseScaleFactor(std::string_view text);

// The factor given with --OPTION; none when the option is absent. A text that is no factor
// has been reported as a usage error, whose exit status is the error.
std::expected<std::optional<RCRationalNumber>, int> scaleFactorOption(const Invocation& invocation,
                                                                      const std::string& option);

// The bytes of the file a verb was given, or of standard input when it was given "-".
[[nodiscard]] Result<std::string> readInputFile(const std::string& file);

}  // namespace miravel::cli
