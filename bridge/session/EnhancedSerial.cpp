// The SERIAL bridge of the enhanced window. The serial transport will send the search
// (state().searchInfoSection, as the TCP/IP search builds it) from here, and its input
// will go to buildEnhancedResult; until then each attempt only counts.
#include "session/EnhancedWindow.h"

namespace trellybridge::session {

void sendSearchOverSerial(SessionWindow&) {}

}  // namespace trellybridge::session
