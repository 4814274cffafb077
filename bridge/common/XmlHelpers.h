// Small searches over XML text, without building a document tree. Element and attribute
// names match without regard to case; values are returned as they stand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::xml {

// The n-th element named `name` (not one whose name merely starts with it), from its "<"
// through its closing tag or "/>"; empty when there is none.
std::string getXMLElement(std::string_view text, std::string_view name, long occurrence);
long countXMLElements(std::string_view text, std::string_view name);
// The value between the double quotes after `name=`; empty when absent.
std::string getXMLAttribute(std::string_view element, std::string_view name);
// The text between <tag> and </tag> (with the tags when `includeTags`); empty when
// either is missing, and also when the closing tag comes first, which a message box says.
std::string getXMLTagValue(std::string_view text, std::string_view tag, bool includeTags);

// A text (or an element of it) together with its upper-cased copy, so that searching it
// again and again, or searching inside the elements found in it, upper-cases nothing anew.
struct Searchable {
    std::string_view text, upper;
};

// Owns the upper-cased copy of a text that is searched many times.
class Document {
public:
    explicit Document(std::string_view text);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    Searchable whole() const { return {text_, upper_}; }

private:
    std::string_view text_;
    std::string upper_;
};

// Every element named `name`, in one pass: element n - 1 of the result is what
// getXMLElement(within.text, name, n) returns, the count is countXMLElements'.
std::vector<Searchable> getXMLElements(Searchable within, std::string_view name);
// getXMLAttribute, on an element found by getXMLElements.
std::string getXMLAttribute(Searchable element, std::string_view name);

}  // namespace trellybridge::xml
