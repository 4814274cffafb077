// Files and folders addressed by Windows-style paths ("c:\vendor\patient.dat") or POSIX
// paths. A drive letter maps to a host directory (TRELLYBRIDGE_DRIVE_<X>); backslashes
// become slashes; POSIX paths pass through unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::fs {

// The host directory a drive letter stands for.
std::string driveRoot(char letter);
// Maps a drive letter to a host directory for this process (empty text removes the
// mapping), ahead of the TRELLYBRIDGE_DRIVE_<X> variables.
void mapDrive(char letter, const std::string& directory);
// A new private folder under the system's temporary directory; empty on failure.
std::string makeTemporaryFolder(const std::string& prefix);
bool removeTree(const std::string& hostDirectory);
// Creates a folder and any missing parents; true when it exists afterwards.
bool createFolder(std::string_view path);
// The host path for a Windows-style or POSIX path.
std::string hostPath(std::string_view path);

bool folderExists(std::string_view path);
bool fileExists(std::string_view path);
// The whole file, or nullopt when it cannot be read.
std::optional<std::string> readFile(std::string_view path);
// Replaces the file through a temporary file in the same folder and a rename, so that
// readers never see half a file. New files get `mode`.
bool writeFileAtomically(std::string_view path, std::string_view content, unsigned mode = 0600);
// Appends, creating the file with `mode` when it does not exist.
bool appendToFile(std::string_view path, std::string_view content, unsigned mode = 0600);
bool removeFile(std::string_view path);
// Entry names of a folder (files and folders), empty when it cannot be listed.
std::vector<std::string> listFolder(std::string_view path);
// Drive letters whose host directory exists, in alphabetical order.
std::vector<char> readyDrives();

}  // namespace trellybridge::fs
