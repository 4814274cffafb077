// The USB patient-record component that getUSBPatientData creates by its ProgID.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/Dispatch.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

inline constexpr std::string_view kUsbProgId = "U3VitrioClasses.USB";

// The numbers a Basic host knows for these failures.
namespace usb_error {
inline constexpr int kInvalidArgument = 5;
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileAccess = 75;
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kNoSuchMethod = 438;
inline constexpr int kAutomationError = 440;
}  // namespace usb_error

struct UsbComponent {
    std::shared_ptr<platform::Dispatchable> object;  // null when it could not be made
    CallError error;
};

// What the host registered under the ProgID, else the library that
// TRELLYBRIDGE_USB_COMPONENT names, else the reference component.
UsbComponent createUsbComponent();

// The reference component: copies the patient file at `input` (a drive path such as
// "E:\records\patient.dat") to `output`, atomically and private to the user; its result
// is the number of bytes copied. The signature is the one a component library exports.
int referenceUsbGetPatientData(const char* input, const char* output, char* result,
                               std::size_t resultCapacity, char* description,
                               std::size_t descriptionCapacity);

}  // namespace trellybridge
