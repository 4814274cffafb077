#include "component/UsbComponent.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "common/AnswerLimit.h"
#include "platform/FileSystem.h"
#include "platform/LoadedLibrary.h"
#include "platform/ObjectRegistry.h"
#include "trellybridge/usb_component.h"

namespace trellybridge {
namespace {

using platform::InvokeStatus;

// Copies `text` into a caller's buffer, cut to fit, always NUL-terminated.
void copyOut(std::string_view text, char* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return;
    std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

const platform::DispatchTable& usbTable() {
    static const platform::DispatchTable table = [] {
        platform::DispatchTable t;
        t.method("getUSBPatientData");
        return t;
    }();
    return table;
}

// A component behind a plain C entry point: the reference one, or one from a library,
// which the object keeps loaded for as long as it lives.
class EntryPointComponent : public platform::Dispatchable {
public:
    EntryPointComponent(trellybridge_usb_get_patient_data_fn entry,
                        std::shared_ptr<platform::LoadedLibrary> library)
        : entry_(entry), library_(std::move(library)) {}

    const platform::DispatchTable& dispatchTable() const override { return usbTable(); }

    InvokeStatus invoke(const platform::Member& /*member*/, std::span<const Variant> arguments,
                        Variant& result) override {
        if (arguments.size() != 2) return InvokeStatus::BadArgumentCount;
        std::string input = arguments[0].toText();
        std::string output = arguments[1].toText();
        // A NUL would cut the path short on the C side: it would name another file.
        if (input.find('\0') != std::string::npos || output.find('\0') != std::string::npos)
            return raise(usb_error::kInvalidArgument, "a file path holds a NUL character");
        std::string answer(kResultCapacity, '\0');
        std::string description(kDescriptionCapacity, '\0');
        int number = entry_(input.c_str(), output.c_str(), answer.data(), answer.size(),
                            description.data(), description.size());
        answer.back() = '\0';
        description.back() = '\0';
        if (number != 0) {
            description.resize(std::strlen(description.c_str()));
            if (description.empty()) description = "the USB component failed";
            return raise(number, std::move(description));
        }
        answer.resize(std::strlen(answer.c_str()));
        result = Variant(std::move(answer));
        return InvokeStatus::Ok;
    }

private:
    static constexpr std::size_t kResultCapacity = 4096;
    static constexpr std::size_t kDescriptionCapacity = 1024;
    trellybridge_usb_get_patient_data_fn entry_;
    std::shared_ptr<platform::LoadedLibrary> library_;
};

UsbComponent fromLibrary(const std::string& path) {
    platform::LoadedLibrary::Outcome loaded = platform::LoadedLibrary::load(path);
    if (!loaded.library) return {nullptr, {usb_error::kCannotCreateObject, loaded.error}};
    std::string error;
    void* address = loaded.library->entryPoint(TRELLYBRIDGE_USB_ENTRY_POINT, error);
    if (!address) return {nullptr, {usb_error::kCannotCreateObject, error}};
    // The entry point's type is fixed by usb_component.h; dlsym hands it out untyped.
    auto entry = reinterpret_cast<trellybridge_usb_get_patient_data_fn>(address);
    return {std::make_shared<EntryPointComponent>(entry, std::move(loaded.library)), {}};
}

}  // namespace

UsbComponent createUsbComponent() {
    if (auto registered = platform::ObjectRegistry::instance().create(kUsbProgId))
        return {std::move(registered), {}};
    const char* configured = std::getenv("TRELLYBRIDGE_USB_COMPONENT");
    if (configured && *configured) return fromLibrary(configured);
    return {std::make_shared<EntryPointComponent>(&referenceUsbGetPatientData, nullptr), {}};
}

int referenceUsbGetPatientData(const char* input, const char* output, char* result,
                               std::size_t resultCapacity, char* description,
                               std::size_t descriptionCapacity) {
    auto fail = [&](int number, const std::string& text) {
        copyOut(text, description, descriptionCapacity);
        return number;
    };
    if (!input || !output || !*input || !*output)
        return fail(usb_error::kInvalidArgument, "an input and an output file path are needed");
    // The record is read as a vendor answer is: a bounded regular file, never through a
    // link planted on the drive.
    fs::RegularFileRead record = fs::readRegularFile(input, maxAnswerBytes(), fs::Links::Refuse);
    if (!record) {
        if (record.failure == fs::RegularFileRead::Failure::Missing)
            return fail(usb_error::kFileNotFound, std::string("File not found: ") + input);
        return fail(usb_error::kFileAccess, std::string(input) + " " + record.reason);
    }
    // Patient data: private to the user whatever an older file allowed.
    if (!fs::writeFileAtomically(output, *record.content, 0600, fs::ExistingMode::Replace))
        return fail(usb_error::kFileAccess, std::string(output) + " could not be written");
    copyOut(std::to_string(record.content->size()), result, resultCapacity);
    return 0;
}

}  // namespace trellybridge
