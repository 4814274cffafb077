// Small searches over XML text, without building a document tree. Element and attribute
// names match without regard to case; values are returned as they stand.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge::xml {

// The n-th element named `name` (not one whose name merely starts with it), from its "<"
// through its closing tag or "/>"; empty when there is none.
std::string getXMLElement(std::string_view text, std::string_view name, long occurrence);
long countXMLElements(std::string_view text, std::string_view name);
// The value between the double quotes after `name=`; empty when absent.
std::string getXMLAttribute(std::string_view element, std::string_view name);
// The text between <tag> and </tag> (with the tags when `includeTags`); empty when
// either is missing or the closing tag comes first.
std::string getXMLTagValue(std::string_view text, std::string_view tag, bool includeTags);

}  // namespace trellybridge::xml
