// The request one session sends and what it does with the answer (TcpBridge.cpp,
// SerialBridge.cpp, EnhancedWindow.cpp).
#pragma once

#include <string>

#include "session/Request.h"

namespace trellybridge::session {

// What one exchange with the vendor sends and does with the answer: the single-patient
// window sends the patient query and parses the answer into the record, the enhanced
// window sends its search and turns the answer into its result. The TCP and serial
// sessions' steps are the same for both.
class Exchange {
public:
    virtual ~Exchange() = default;
    struct Message {
        std::string text;     // requestText, as shown and logged
        std::string payload;  // the bytes sent: TCP ends them with CR LF, a serial line as they are
        bool block = false;   // an MLLP block, sent over TCP exactly as it is
    };
    // What one send attempt sends.
    virtual Message message(Request& request) const = 0;
    // Whether the answer is whole, given the answer so far and where its newest bytes start.
    virtual bool answerComplete(const Request& request, const std::string& answer,
                                size_t newFrom) const = 0;
    // Whether the vendor's close (or a pause past the wait bound) may end an answer that
    // answerComplete never called whole; otherwise such an answer was cut off.
    virtual bool closeEndsAnswer(const Request& request) const = 0;
    // Takes the whole answer; true when the exchange is done and only the report is left.
    virtual bool takeAnswer(Request& request, const std::string& answer) const = 0;
};

}  // namespace trellybridge::session
