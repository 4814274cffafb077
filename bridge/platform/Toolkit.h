// What the component needs of a window system: modal windows run on the calling
// thread, message boxes, property pages, and a place for progress text. Windows are
// models; a toolkit only renders them and runs their loop.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trellybridge::ui {

enum class Icon { None, Critical, Exclamation, Information };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Button { Ok, Cancel, Yes, No };

enum class ProgressKind { Status, Log, MessageBox };
using ProgressSink = std::function<void(ProgressKind, std::string_view)>;

// What a toolkit draws of a modal window.
struct WindowView {
    std::string caption, information, status, connectionTime;
};

// A modal window: shown by Toolkit::runModal until it unloads itself.
class Window {
public:
    virtual ~Window() = default;
    bool isLoaded() const { return loaded_; }
    void load() {
        loaded_ = true;
        onLoad();
    }
    void unload() { loaded_ = false; }
    virtual WindowView view() const { return {}; }
    // The user pressed the window's close button.
    virtual void closeClicked() {}

protected:
    virtual void onLoad() = 0;

private:
    bool loaded_ = false;
};

// A settings page as a toolkit sees it: labelled controls holding text, buttons, and
// what pressing them does. The page reads and writes the configuration; a toolkit
// copies the user's text into `controls` before any event and redraws after it.
enum class ControlKind { TextBox, List, ReadOnly, Lines };
struct Control {
    std::string label;
    std::string text;
    std::string placeholder;           // shown greyed while the text is empty
    std::vector<std::string> choices;  // the lines of a list
    ControlKind kind = ControlKind::TextBox;
    bool visible = true;
    bool fixedPitch = false;
};

class PropertyPage {
public:
    virtual ~PropertyPage() = default;
    const std::string& name() const { return name_; }
    const std::string& caption() const { return caption_; }
    // The page's own title, drawn above its controls.
    const std::string& heading() const { return heading_; }
    std::vector<Control>& controls() { return controls_; }
    const std::vector<std::string>& buttons() const { return buttons_; }
    bool closed() const { return closed_; }

    virtual void press(std::size_t button) = 0;
    // A line of a list was clicked (index into its choices).
    virtual void choose(std::size_t /*control*/, int /*line*/) {}

protected:
    PropertyPage(std::string name, std::string caption, std::string heading)
        : name_(std::move(name)), caption_(std::move(caption)), heading_(std::move(heading)) {}
    std::vector<Control> controls_;
    std::vector<std::string> buttons_;
    bool closed_ = false;

private:
    std::string name_, caption_, heading_;
};

enum class FileDialogOutcome { Chosen, Cancelled, Failed };
struct FileDialogResult {
    FileDialogOutcome outcome = FileDialogOutcome::Cancelled;
    std::string path;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;
    // Loads the window and runs a nested loop on the calling thread until it unloads.
    virtual void runModal(Window& window) = 0;
    // Dispatches whatever events are ready without waiting.
    virtual void pumpMessages() = 0;
    virtual Button messageBox(std::string_view text, std::string_view title, Icon icon,
                              Buttons buttons = Buttons::Ok) = 0;
    // Shows a settings page modally; the page edits the configuration in place.
    virtual void showPropertyPage(PropertyPage& page) = 0;
    // Asks for a file: `filter` as "*.exe"; the initial folder and name are the
    // system's texts (drive letters and backslashes).
    virtual FileDialogResult fileDialog(std::string_view initialFolder, std::string_view fileName,
                                        std::string_view filter) = 0;
    // Status and log lines of the open window.
    virtual void progress(ProgressKind kind, std::string_view text) = 0;
};

// Runs windows without a display: the loop is the thread's poll()-based event loop,
// message boxes go to the progress sink and answer with their default button, and
// property pages are accepted unchanged (nothing pressed, nothing written); a file
// dialog chooses nothing.
class HeadlessToolkit : public Toolkit {
public:
    explicit HeadlessToolkit(ProgressSink sink = {}) : sink_(std::move(sink)) {}
    void setProgressSink(ProgressSink sink) { sink_ = std::move(sink); }
    const ProgressSink& progressSink() const { return sink_; }

    void runModal(Window& window) override;
    void pumpMessages() override;
    Button messageBox(std::string_view text, std::string_view title, Icon icon,
                      Buttons buttons) override;
    void showPropertyPage(PropertyPage& page) override;
    FileDialogResult fileDialog(std::string_view initialFolder, std::string_view fileName,
                                std::string_view filter) override;
    void progress(ProgressKind kind, std::string_view text) override;

private:
    ProgressSink sink_;
};

// The calling thread's toolkit (a silent HeadlessToolkit unless one was installed).
Toolkit& toolkit();
void setToolkit(std::shared_ptr<Toolkit> toolkit);

}  // namespace trellybridge::ui
