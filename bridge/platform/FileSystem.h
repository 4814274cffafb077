// Files and folders addressed by Windows-style paths ("c:\vendor\patient.dat") or POSIX
// paths. A drive letter maps to a host directory (TRELLYBRIDGE_DRIVE_<X>); backslashes
// become slashes; POSIX paths pass through unchanged.
#pragma once

#include <cstddef>
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

// What became of a file operation; `reason` is the system's own words when it failed
// ("Permission denied").
struct FileOutcome {
    bool ok = false;
    std::string reason;
};
// As writeFileAtomically, but a new file gets the permissions every program's ordinary
// files get (0666 less the umask), so that programs of other accounts may read it.
FileOutcome writeOrdinaryFileAtomically(std::string_view path, std::string_view content);

// A file that another program hands over, read without ever waiting on it.
struct RegularFileRead {
    enum class Status {
        Read,        // `content` holds the whole file
        NotThere,    // missing or unreadable
        NotRegular,  // a folder, pipe, device, socket: never read
        TooLarge,    // more than the limit; nothing is kept
    };
    Status status = Status::NotThere;
    std::string content;
    std::string reason;  // why it was not read, in the system's words
};
// Reads `path` only when it is a regular file of at most `limit` bytes. A pipe or a
// device is refused before it could block the caller or feed it without end.
RegularFileRead readRegularFile(std::string_view path, std::size_t limit);
// Appends, creating the file with `mode` when it does not exist.
bool appendToFile(std::string_view path, std::string_view content, unsigned mode = 0600);
bool removeFile(std::string_view path);
// Entry names of a folder (files and folders), empty when it cannot be listed.
std::vector<std::string> listFolder(std::string_view path);
// Drive letters whose host directory exists, in alphabetical order.
std::vector<char> readyDrives();

}  // namespace trellybridge::fs
