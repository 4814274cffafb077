// The FOLDERS bridge: nothing is removed and nothing sent; the session waits for the
// vendor to leave <PatientID>.dat in the results folder.
#include "session/Bridges.h"
#include "session/FileExchange.h"

namespace trellybridge::session {
namespace {

class FoldersBridge : public FileExchangeBridge {};

}  // namespace

std::unique_ptr<Bridge> makeFoldersBridge() {
    return std::make_unique<FoldersBridge>();
}

}  // namespace trellybridge::session
