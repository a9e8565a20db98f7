#pragma once
// A whole text file read at once, its failures told with the system's reason.
#include <string>

// The bytes of `path`; a file that cannot be opened or read (missing, a
// folder, no permission) is refused with the path and the system's reason.
std::string read_text_file(const std::string& path);
