// What the file-exchange bridges (VENDOR, POLLING, FOLDERS) share, and the results-file
// read that USB uses too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "session/Bridge.h"

namespace trellybridge::session {

// Loads into Cleanup with "Preparing request for patient..."; reads the results file.
class FileExchangeBridge : public Bridge {
public:
    RunLoop load(Request& request) override;
    bool readAnswer(Request& request) override;
    // Fast pace: the results file is at hand once looks a tick apart, and at least
    // kSettledMs apart, find it the same. A file that has only just appeared may still be
    // being written, and half an answer can read as a patient with insurances missing.
    bool readAwaitsVendor() const override { return true; }
    bool answerAtHand(Request& request) override;
    static constexpr std::uint32_t kSettledMs = 250;

private:
    std::optional<fs::FileStamp> lastLook_;
    std::uint32_t unchangedSince_ = 0;  // the clock's tick count when lastLook_ was first seen
};

// Removes the results file and the request file (none for a VENDOR program that is
// handed the identifier), once every path the later steps use has been found usable.
Expected<void> deletePatientFiles(Request& request, bool vendorProgram);
// Builds the request and hands it to `deliver`, which fails with the reason when it
// cannot deliver it.
using Delivery = std::function<Expected<void>(const Request&)>;
Expected<void> sendNetworkRequest(Request& request, const Delivery& deliver);
// The two ways a request is delivered: the request file, and the vendor's program.
Expected<void> writeRequestFile(const Request& request);
Expected<void> startVendorProgram(const Request& request, const std::vector<std::string>& arguments,
                                  process::Program& program);
// Why a configured path cannot name a file, or empty text when it can.
std::string unusablePath(std::string_view what, const std::string& path);
// The file a path setting names, as the host sees it.
std::string shownPath(const std::string& path);
// Reads the answer in the results file into the session's raw data and parses it; false
// (and no raw data) while there is none that holds the patient.
bool readPatientFile(Request& request);

}  // namespace trellybridge::session
