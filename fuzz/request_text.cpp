// The XML request text of the enhanced request: its sections and the element lookups.
#include "FuzzSupport.h"
#include "common/XmlHelpers.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const char* section : {"UserInfo", "SearchInfo", "BridgeParameters", "Result"}) {
        std::string inner = xml::getXMLTagValue(text, section, true);
        if (inner.size() > text.size()) __builtin_trap();
        xml::getXMLTagValue(text, section, false);
        for (const char* key : {"PatientID", "NetworkBridgeType", "TCPRemotePorts"})
            xml::getXMLTagValue(inner, key, false);
    }
    long count = xml::countXMLElements(text, "P1");
    if (count > 0 && xml::getXMLElement(text, "P1", count).empty()) __builtin_trap();
    if (!xml::getXMLElement(text, "P1", count + 1).empty()) __builtin_trap();
    xml::getXMLAttribute(xml::getXMLElement(text, "P1", 1), "LastName");
    // The one-pass walk the answer parser uses finds the same elements.
    xml::Document document(text);
    std::vector<xml::Searchable> elements = xml::getXMLElements(document.whole(), "P1");
    if (static_cast<long>(elements.size()) != count) __builtin_trap();
    if (count > 0 && elements.back().text != xml::getXMLElement(text, "P1", count))
        __builtin_trap();
    return 0;
}
