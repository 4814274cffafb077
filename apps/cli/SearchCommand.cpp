// trellybridge get-patient-data: runs one enhanced search from a request file and prints
// the result as the component returns it (escaped when shown on a terminal).
#include <iostream>
#include <vector>

#include "Cli.h"
#include "CliSupport.h"
#include "Commands.h"
#include "common/FailureNote.h"
#include "common/Text.h"
#include "common/XmlHelpers.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Toolkit.h"
#include "session/SearchRequest.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::cli {
namespace {

// The request, from a regular file or standard input, held to the config file limit.
std::string readRequest(const std::string& input) {
    const size_t limit = kMaxConfigFileBytes;
    if (input != "-") {
        fs::RegularFileRead file = fs::readRegularFile(input, limit);
        if (!file)
            throw UsageError{"cannot read request file '" + escapeControls(input) +
                             "': " + file.reason};
        return std::move(*file.content);
    }
    std::string request;
    std::vector<char> chunk(std::size_t{64} * 1024);
    while (request.size() <= limit && std::cin) {
        size_t room = limit - request.size();
        std::cin.read(chunk.data(),
                      static_cast<std::streamsize>(room < chunk.size() ? room + 1 : chunk.size()));
        request.append(chunk.data(), static_cast<size_t>(std::cin.gcount()));
    }
    if (request.size() > limit)
        throw UsageError{"the request on standard input is larger than " + std::to_string(limit) +
                         " bytes"};
    return request;
}

}  // namespace

int getPatientData(const GetPatientDataOptions& options, std::ostream& out, std::ostream& err) {
    std::string request = readRequest(options.request);
    // A request is an XML document; anything else is a mistake of the caller's, not a search.
    size_t first = request.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || request[first] != '<' ||
        xml::getXMLTagValue(request, "SearchInfo", true).empty())
        throw UsageError{"the request is not XML with a <SearchInfo> section"};
    auto toolkit = installProgressToolkit(err, options.quiet);
    TrellyBridgeComm comm;
    std::string result;
    {
        WaitingLine waiting(err, options.quiet, *toolkit);
        result = comm.GetPatientData(request);
    }
    // Vendor text on a terminal is escaped as get-patient escapes it, so that it cannot
    // drive the terminal; a file or pipe gets the result exactly as returned.
    bool terminal = out.rdbuf() == std::cout.rdbuf() && process::standardOutputIsTerminal();
    out << (terminal ? toUtf8(escapeControls(result)) : result) << "\n";
    if (result.empty()) {
        std::string reason = comm.get_FailureReason().toText();
        err << "trellybridge: the search gave no result" << (reason.empty() ? "" : ": ")
            << escapeControls(reason) << "\n";
    }
    comm.closeEnhancedBridgeConnection();
    ui::setToolkit(nullptr);
    return exitStatus(session::listedPatients(result) > 0, comm);
}

}  // namespace trellybridge::cli
