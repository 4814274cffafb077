// The settings pages shown before a request: each edits one group of the thread's
// configuration, saves what the user typed back as text, and restores its group's
// defaults. Toolkit-free: a toolkit draws the controls and presses the buttons.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/SessionState.h"
#include "platform/Toolkit.h"

namespace trellybridge::pages {

// Every page's caption: the application title and the pages' version.
std::string pageCaption();

// The text of a character-list button's box: "ASCII character string: " and the
// characters of at most 11 comma-separated codes ({CR} and {LF} for 13 and 10); a
// code that is not a whole number from 0 to 255 shows nothing.
std::string characterListText(std::string_view list);

// The folder of a chosen file, up to and including its last separator ("\" or "/").
std::string folderOfChosenFile(std::string_view path);

class ConfigurationPage : public ui::PropertyPage {
public:
    // The settings the page edits, and the session whose time-out a save sets.
    void edit(BridgeConfiguration& config, SessionState& session) {
        config_ = &config;
        session_ = &session;
    }
    // Empties the controls, fills the lists with their choices and shows the fields.
    void load();
    // Writes the controls into their fields and closes the page.
    void save();
    // Writes the page's default group, then loads again.
    void restore();

    void press(std::size_t button) override;
    void choose(std::size_t control, int line) override;

    // The control that edits a field, by its label; npos when the page has none.
    std::size_t controlFor(std::string_view label) const;

protected:
    struct FieldSpec {
        std::string label;
        Variant BridgeConfiguration::*field;
        std::vector<std::string> choices;  // empty: a text box
        bool written = true;               // false: shown read-only, never written
    };
    ConfigurationPage(std::string name, std::string heading, std::vector<FieldSpec> fields,
                      std::function<void(BridgeConfiguration&)> restoreGroup);
    void addButton(std::string caption, std::function<void()> action);
    // Copies every written control into its field; an untouched control leaves its
    // field exactly as it was (type and bytes).
    void writeFields();
    virtual void afterSave() {}
    virtual void afterChoose() {}
    void setField(std::size_t control, const std::string& text);
    BridgeConfiguration& config() const { return *config_; }
    SessionState& session() const { return *session_; }

private:
    BridgeConfiguration* config_ = nullptr;
    SessionState* session_ = nullptr;
    std::vector<FieldSpec> fields_;
    std::vector<std::string> loaded_;  // the text each control was loaded with
    std::function<void(BridgeConfiguration&)> restoreGroup_;
    std::vector<std::function<void()>> actions_;
};

// The page that `GetPatient` names, loaded with `config` and ready to show; null for an
// unknown name.
std::unique_ptr<ui::PropertyPage> makePage(std::string_view name, BridgeConfiguration& config,
                                           SessionState& session);
// Makes the named page and shows it with the thread's toolkit.
void showPage(std::string_view name, BridgeConfiguration& config, SessionState& session);

}  // namespace trellybridge::pages
