#include "platform/SettingsStore.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/FileSystem.h"

namespace trellybridge::platform {
namespace {

std::string trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

struct IniLine {
    std::string section;  // the section the line belongs to
    std::string key;      // empty for headers, comments and blank lines
    std::string text;     // the line as written
};

std::vector<IniLine> parseIni(const std::string& content) {
    std::vector<IniLine> lines;
    std::istringstream in(content);
    std::string line, section;
    while (std::getline(in, line)) {
        std::string clean = trimmed(line);
        if (clean.size() >= 2 && clean.front() == '[' && clean.back() == ']') {
            section = clean.substr(1, clean.size() - 2);
            lines.push_back({section, "", clean});
            continue;
        }
        size_t equals = clean.find('=');
        bool comment = clean.empty() || clean[0] == ';' || clean[0] == '#';
        std::string key =
            (comment || equals == std::string::npos) ? "" : trimmed(clean.substr(0, equals));
        lines.push_back({section, key, line});
    }
    return lines;
}

// The settings file is read as any file from outside is: a regular file, bounded.
std::optional<std::string> readSettings(const std::string& path) {
    constexpr std::size_t kMaxSettingsBytes = std::size_t{1024} * 1024;
    return fs::readRegularFile(path, kMaxSettingsBytes).content;
}

std::mutex storeMutex;
std::shared_ptr<SettingsStore> currentStore;

}  // namespace

std::string IniSettingsStore::defaultPath() {
    // A relative folder would put the settings wherever the host happens to run.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/TrellyBridge/settings.ini";
    std::string home = fs::homeFolder();
    return home.empty() ? std::string() : home + "/.config/TrellyBridge/settings.ini";
}

std::string IniSettingsStore::get(std::string_view section, std::string_view key) {
    auto content = readSettings(path_);
    if (!content) return {};
    for (const IniLine& line : parseIni(*content))
        if (line.section == section && line.key == key) {
            // The value comes back as it was stored: " 39972", saved from the list
            // "39971, 39972", must still match that list's item.
            std::string value = line.text.substr(line.text.find('=') + 1);
            if (!value.empty() && value.back() == '\r') value.pop_back();
            return value;
        }
    return {};
}

bool IniSettingsStore::set(std::string_view section, std::string_view key, std::string_view value) {
    fs::createFolder(std::filesystem::path(path_).parent_path().string());  // 0700
    std::optional<std::string> stored = readSettings(path_);
    std::vector<IniLine> lines = parseIni(stored.value_or(""));
    std::string entry = std::string(key) + "=" + std::string(value);
    bool replaced = false;
    size_t sectionEnd = lines.size();
    bool sectionSeen = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].section != section) continue;
        sectionSeen = true;
        sectionEnd = i + 1;
        if (lines[i].key == key && !replaced) {
            lines[i].text = entry;
            replaced = true;
        }
    }
    if (!replaced) {
        if (!sectionSeen)
            lines.push_back({std::string(section), "", "[" + std::string(section) + "]"});
        else
            lines.insert(lines.begin() + static_cast<long>(sectionEnd),
                         {std::string(section), std::string(key), entry});
        if (!sectionSeen) lines.push_back({std::string(section), std::string(key), entry});
    }
    std::string content;
    for (const IniLine& line : lines) content += line.text + "\n";
    // A value saved again unchanged (the same last good port, request after request)
    // costs no rewrite and no wait for the disk.
    if (stored && *stored == content) return true;
    return fs::writeFileAtomically(path_, content, 0600);
}

std::string MemorySettingsStore::get(std::string_view section, std::string_view key) {
    auto found = values_.find(std::string(section) + "\n" + std::string(key));
    return found == values_.end() ? "" : found->second;
}

bool MemorySettingsStore::set(std::string_view section, std::string_view key,
                              std::string_view value) {
    values_[std::string(section) + "\n" + std::string(key)] = value;
    return true;
}

SettingsStore& settingsStore() {
    std::lock_guard lock(storeMutex);
    if (!currentStore)
        currentStore = std::make_shared<IniSettingsStore>(IniSettingsStore::defaultPath());
    return *currentStore;
}

void setSettingsStore(std::shared_ptr<SettingsStore> store) {
    std::lock_guard lock(storeMutex);
    currentStore = std::move(store);
}

}  // namespace trellybridge::platform
