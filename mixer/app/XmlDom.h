#pragma once
// The few XML operations the mixer panel needs, over pugixml with XPath 1.0:
// load a file, select one node or a node list, node text, node value as a
// 32-bit integer. Selections never throw: a malformed expression selects
// nothing. Nodes keep their document alive.
#include <pugixml.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qel::mixer {

struct XmlSource;  // the parsed document and its text (for line numbers)

// An element or attribute of a loaded document, or empty.
class XmlNode {
public:
    XmlNode() = default;
    bool isNull() const { return !node_ && !attr_; }
    explicit operator bool() const { return !isNull(); }

    XmlNode selectSingleNode(std::string_view xpath) const;
    std::vector<XmlNode> selectNodes(std::string_view xpath) const;
    // An attribute's value, or the concatenated text of an element's content.
    std::string text() const;
    // The text as a signed 32-bit decimal number; 0 when empty, not a number
    // or out of range.
    std::int32_t intValue() const;
    std::string name() const;
    // 1-based line of the node in its file; 0 when unknown.
    int line() const;

private:
    friend class XmlDocument;
    XmlNode(std::shared_ptr<const XmlSource> src, const pugi::xpath_node& n);
    std::shared_ptr<const XmlSource> src_;
    pugi::xml_node node_;       // the element (or the attribute's parent)
    pugi::xml_attribute attr_;  // set for an attribute
};

using XmlNodeList = std::vector<XmlNode>;

class XmlDocument {
public:
    // Loads and parses a file (or text); false with a reason on failure.
    bool load(const std::string& path, std::string* error = nullptr);
    bool loadText(std::string_view text, std::string* error = nullptr);
    bool isLoaded() const { return src_ != nullptr; }

    XmlNode selectSingleNode(std::string_view xpath) const;
    XmlNodeList selectNodes(std::string_view xpath) const;
    // The document's last child node (the program takes it as the root element).
    XmlNode lastChild() const;

private:
    XmlNode document() const;
    std::shared_ptr<const XmlSource> src_;
};

// An XPath string literal for any text: quoted with ' or ", or built with
// concat() when the text holds both.
std::string xpathLiteral(std::string_view text);

// The value of a node as a 32-bit integer, by the rules of XmlNode::intValue.
std::int32_t parseInt32(std::string_view text);

}  // namespace qel::mixer
