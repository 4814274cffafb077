// The two methods a host calls for a patient record carried on a USB drive. The request
// flow never calls them.
#include <exception>
#include <string>
#include <string_view>

#include "component/UsbComponent.h"
#include "platform/FileSystem.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

// A ".." step would leave the drive's root and probe files anywhere on the host.
bool climbsOutOfRoot(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        if (path.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

// The component's result as text, or the error it raised.
Variant callUsbComponent(const Variant& input, const Variant& output, CallError& error) {
    UsbComponent component = createUsbComponent();
    if (!component.object) {
        error = std::move(component.error);
        return Variant();
    }
    const Variant arguments[] = {input, output};
    Variant result;
    switch (component.object->invoke("getUSBPatientData", platform::MemberKind::Method, arguments,
                                     result)) {
        case platform::InvokeStatus::Ok: return Variant(result.toText());
        case platform::InvokeStatus::Failed:
            error = {component.object->raisedError().number,
                     component.object->raisedError().description};
            return Variant();
        case platform::InvokeStatus::UnknownMember:
        case platform::InvokeStatus::BadArgumentCount:
        case platform::InvokeStatus::NotImplemented: break;
    }
    error = {usb_error::kNoSuchMethod,
             "Object doesn't support this property or method: getUSBPatientData"};
    return Variant();
}

}  // namespace

Variant TrellyBridgeComm::findUSBDriveLetter(const Variant& USBEncryptedPath) {
    try {
        std::string path = USBEncryptedPath.toText();
        if (climbsOutOfRoot(path) || path.find('\0') != std::string::npos) return Variant("");
        for (char letter : fs::readyDrives())
            if (fs::fileExists(std::string(1, letter) + ":" + path))
                return Variant(std::string(1, letter));
    } catch (...) {
        // A drive that cannot be looked at is passed over, as is every other failure here.
    }
    return Variant("");
}

Variant TrellyBridgeComm::getUSBPatientData(const Variant& InputFilePath,
                                            const Variant& OutputFilePath, CallError* error) {
    CallError raised;
    Variant result;
    try {
        result = callUsbComponent(InputFilePath, OutputFilePath, raised);
    } catch (const std::exception& e) {
        raised = {usb_error::kAutomationError, e.what()};
    } catch (...) {
        raised = {usb_error::kAutomationError, "the USB component failed"};
    }
    if (error) *error = std::move(raised);
    return result;
}

}  // namespace trellybridge
