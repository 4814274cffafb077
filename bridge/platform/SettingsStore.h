// The per-user application settings store: text values by section and key.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace trellybridge::platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Empty text when nothing is stored.
    virtual std::string get(std::string_view section, std::string_view key) = 0;
    // Returns false when the value could not be kept.
    virtual bool set(std::string_view section, std::string_view key, std::string_view value) = 0;
};

// An INI file, re-read on every access and rewritten atomically on every change, so
// that several processes of the same user see each other's last good port.
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(std::string path) : path_(std::move(path)) {}
    // $XDG_CONFIG_HOME/TrellyBridge/settings.ini (~/.config when the variable is unset).
    static std::string defaultPath();

    std::string get(std::string_view section, std::string_view key) override;
    bool set(std::string_view section, std::string_view key, std::string_view value) override;

private:
    std::string path_;
};

class MemorySettingsStore : public SettingsStore {
public:
    std::string get(std::string_view section, std::string_view key) override;
    bool set(std::string_view section, std::string_view key, std::string_view value) override;

private:
    std::map<std::string, std::string> values_;
};

// The process's store (the INI file unless replaced); tests install a memory store.
SettingsStore& settingsStore();
void setSettingsStore(std::shared_ptr<SettingsStore> store);

}  // namespace trellybridge::platform
