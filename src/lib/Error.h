#pragma once

#include <expected>
#include <string>
#include <type_traits>
#include <utility>

namespace miravel {

// A failure as a value: which part of the system it comes from (domain), a number within
// that domain, and the text shown to the user. Nothing is thrown across module boundaries.
struct Error {
    std::string domain;
    int code = 0;
    std::string description;
    std::string failureReason;

    bool operator==(const Error&) const = default;
};

template <typename T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> makeError(std::string domain, int code, std::string description,
                                        std::string failureReason = {}) {
    return std::unexpected(
        Error{std::move(domain), code, std::move(description), std::move(failureReason)});
}

// A domain's codes kept as an enum class, so a code is spelled by name and still compares
// as the number it always was.
template <typename Code>
requires std::is_scoped_enum_v<Code> std::unexpected<Error> makeError(
    std::string domain, Code code, std::string description, std::string failureReason = {}) {
    return makeError(std::move(domain), static_cast<int>(std::to_underlying(code)),
                     std::move(description), std::move(failureReason));
}

// Error domain of plain file-system failures (reading, writing, renaming local files).
inline constexpr const char* kFileErrorDomain = "miravel.file";

}  // namespace miravel
