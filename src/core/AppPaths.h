// Where the program's files live: everything sits beside the executable.
#pragma once

#include <string>

namespace dormix {

// Full path of the running executable (resolved /proc/self/exe).
std::string ExeFileName();
// The executable's directory, without a trailing "/".
std::string ExeDirectory();
// <exe dir>/Sounds/ding.wav
std::string DefaultSoundFile();
// <exe dir>/Dormis.ini and <exe dir>/Dormix.ini
std::string AlarmFilePath();
std::string SettingsFilePath();

} // namespace dormix
