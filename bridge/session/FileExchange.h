// What the file-exchange bridges (VENDOR, POLLING, FOLDERS) share, and the results-file
// read that USB uses too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "session/BridgeSession.h"

namespace trellybridge::session {

// Loads into Cleanup with "Preparing request for patient..."; reads the results file.
class FileExchangeBridge : public BridgeSession {
public:
    RunLoop load(SessionWindow& window) override;
    bool readAnswer(SessionWindow& window) override;
};

// Removes the results file and the request file (none for a VENDOR program that is
// handed the identifier), once every path the later steps use has been found usable.
bool deletePatientFiles(SessionWindow& window, bool vendorProgram);
// Builds the request and hands it to `deliver`, which gives false and the reason when
// it cannot deliver it.
bool sendNetworkRequest(SessionWindow& window,
                        const std::function<bool(std::string& failure)>& deliver);
// The two ways a request is delivered: the request file, and the vendor's program.
bool writeRequestFile(std::string& failure);
bool startVendorProgram(const std::vector<std::string>& arguments, bool focus,
                        std::string& failure);
// Why a configured path cannot name a file, or empty text when it can.
std::string unusablePath(std::string_view what, const Variant& setting);
// The file a path setting names, as the host sees it.
std::string shownPath(const Variant& setting);
// The answer in the results file, parsed; empty text while there is none.
std::string readPatientFile(SessionWindow& window);

}  // namespace trellybridge::session
