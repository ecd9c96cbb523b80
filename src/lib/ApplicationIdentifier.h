#pragma once

#include <string>

namespace miravel {

// The one reverse-DNS name of the application. The keychain service name is this text; the
// error domains and drag types are formed from it.
inline constexpr const char* kApplicationIdentifier = "org.miravel.Miravel";

// Domain of service and import errors.
inline std::string applicationErrorDomain() {
    return std::string(kApplicationIdentifier) + ".app";
}

// Domain of archive export errors.
inline std::string exportErrorDomain() {
    return std::string(kApplicationIdentifier) + ".mac";
}

// Drag type for one entity inside the application, e.g. pasteboardType("Recipe").
inline std::string pasteboardType(const std::string& entityName) {
    return std::string(kApplicationIdentifier) + "." + entityName;
}

}  // namespace miravel
