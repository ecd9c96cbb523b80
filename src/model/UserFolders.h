#pragma once

#include <filesystem>

namespace miravel {

// Where a user's Miravel data lives, after the XDG base-directory rules: a relative or empty
// XDG_* value is ignored, as the rules require.

// The application's files folder: the store and the photos. $XDG_DATA_HOME/Miravel, by
// default ~/.local/share/Miravel. Not created here.
std::filesystem::path defaultLibraryFolder();

// The settings and the file keychain: $XDG_CONFIG_HOME/Miravel, by default ~/.config/Miravel.
std::filesystem::path configFolder();

// The store file inside a files folder.
inline constexpr const char* kStoreFileName = "Miravel.sqlite";
// The settings file inside the config folder.
inline constexpr const char* kSettingsFileName = "Settings.json";

}  // namespace miravel
