// What the component needs of a window system: modal windows run on the calling
// thread, message boxes, property pages, and a place for progress text. Windows are
// models; a toolkit only renders them and runs their loop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace trellybridge::ui {

enum class Icon { None, Critical, Exclamation, Information };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Button { Ok, Cancel, Yes, No };

enum class ProgressKind { Status, Log, MessageBox };
using ProgressSink = std::function<void(ProgressKind, std::string_view)>;

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

protected:
    virtual void onLoad() = 0;

private:
    bool loaded_ = false;
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
    virtual void showPropertyPage(std::string_view pageName) = 0;
    // Status and log lines of the open window.
    virtual void progress(ProgressKind kind, std::string_view text) = 0;
};

// Runs windows without a display: the loop is the thread's poll()-based event loop,
// message boxes go to the progress sink and answer with their default button, and
// property pages are accepted unchanged.
class HeadlessToolkit : public Toolkit {
public:
    explicit HeadlessToolkit(ProgressSink sink = {}) : sink_(std::move(sink)) {}
    void setProgressSink(ProgressSink sink) { sink_ = std::move(sink); }

    void runModal(Window& window) override;
    void pumpMessages() override;
    Button messageBox(std::string_view text, std::string_view title, Icon icon,
                      Buttons buttons) override;
    void showPropertyPage(std::string_view pageName) override;
    void progress(ProgressKind kind, std::string_view text) override;

private:
    ProgressSink sink_;
};

// The calling thread's toolkit (a silent HeadlessToolkit unless one was installed).
Toolkit& toolkit();
void setToolkit(std::shared_ptr<Toolkit> toolkit);

}  // namespace trellybridge::ui
