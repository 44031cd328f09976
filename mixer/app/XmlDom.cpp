#include "mixer/app/XmlDom.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>

namespace qel::mixer {

struct XmlSource {
    pugi::xml_document doc;
    std::string text;
    std::vector<std::size_t> lineStarts;  // offsets of each line's first byte
};

namespace {
// Expressions are compiled on every call: they are few and built from names
// that change per device. A malformed one selects nothing.
pugi::xpath_node_set evaluate(const pugi::xml_node& context, std::string_view xpath) {
    try {
        const pugi::xpath_query query(std::string(xpath).c_str());
        if (!query) return {};
        return query.evaluate_node_set(context);
    } catch (const pugi::xpath_exception&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}
}  // namespace

XmlNode::XmlNode(std::shared_ptr<const XmlSource> src, const pugi::xpath_node& n) : src_(std::move(src)) {
    if (n.attribute()) {
        attr_ = n.attribute();
        node_ = n.parent();
    } else {
        node_ = n.node();
    }
}

XmlNode XmlNode::selectSingleNode(std::string_view xpath) const {
    if (isNull() || attr_) return {};
    const auto set = evaluate(node_, xpath);
    if (set.empty()) return {};
    return XmlNode(src_, set.first());
}

XmlNodeList XmlNode::selectNodes(std::string_view xpath) const {
    XmlNodeList list;
    if (isNull() || attr_) return list;
    const auto set = evaluate(node_, xpath);
    list.reserve(set.size());
    for (const auto& n : set) list.push_back(XmlNode(src_, n));
    return list;
}

std::string XmlNode::text() const {
    if (attr_) return attr_.value();
    if (!node_) return {};
    if (node_.type() != pugi::node_element && node_.type() != pugi::node_document) return node_.value();
    std::string out;
    struct Collect : pugi::xml_tree_walker {
        std::string* out;
        bool for_each(pugi::xml_node& n) override {
            if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) out->append(n.value());
            return true;
        }
    } walker;
    walker.out = &out;
    pugi::xml_node n = node_;
    n.traverse(walker);
    // Like the platform's DOM, an element's text comes without its
    // surrounding white space.
    const auto first = out.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return out.substr(first, out.find_last_not_of(" \t\r\n") - first + 1);
}

std::int32_t parseInt32(std::string_view t) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || t.size() > 10) return 0;
    long long v = 0;
    for (const char c : t) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return 0;
    return static_cast<std::int32_t>(v);
}

std::int32_t XmlNode::intValue() const { return isNull() ? 0 : parseInt32(text()); }

std::string XmlNode::name() const {
    if (attr_) return attr_.name();
    return node_ ? node_.name() : "";
}

int XmlNode::line() const {
    if (isNull() || !src_) return 0;
    const std::ptrdiff_t off = node_.offset_debug();
    if (off < 0) return 0;
    const auto& starts = src_->lineStarts;
    const auto it = std::upper_bound(starts.begin(), starts.end(), static_cast<std::size_t>(off));
    return static_cast<int>(it - starts.begin());
}

bool XmlDocument::load(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open " + path;
        src_.reset();
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return loadText(text.str(), error);
}

bool XmlDocument::loadText(std::string_view text, std::string* error) {
    auto src = std::make_shared<XmlSource>();
    src->text.assign(text);
    src->lineStarts.push_back(0);
    for (std::size_t i = 0; i < src->text.size(); ++i)
        if (src->text[i] == '\n') src->lineStarts.push_back(i + 1);
    const pugi::xml_parse_result r =
        src->doc.load_buffer(src->text.data(), src->text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!r) {
        if (error) {
            const auto it = std::upper_bound(src->lineStarts.begin(), src->lineStarts.end(),
                                             static_cast<std::size_t>(std::max<std::ptrdiff_t>(r.offset, 0)));
            *error = "line " + std::to_string(it - src->lineStarts.begin()) + ": " + r.description();
        }
        src_.reset();
        return false;
    }
    src_ = std::move(src);
    return true;
}

XmlNode XmlDocument::document() const {
    if (!src_) return {};
    return XmlNode(src_, pugi::xpath_node(src_->doc));
}

XmlNode XmlDocument::selectSingleNode(std::string_view xpath) const { return document().selectSingleNode(xpath); }
XmlNodeList XmlDocument::selectNodes(std::string_view xpath) const { return document().selectNodes(xpath); }

XmlNode XmlDocument::lastChild() const {
    if (!src_) return {};
    return XmlNode(src_, pugi::xpath_node(src_->doc.last_child()));
}

std::string xpathLiteral(std::string_view text) {
    if (text.find('\'') == std::string_view::npos) return "'" + std::string(text) + "'";
    if (text.find('"') == std::string_view::npos) return "\"" + std::string(text) + "\"";
    // Both quote kinds: concat('...', "'", '...').
    std::string out = "concat(";
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        const std::size_t q = text.find('\'', start);
        const std::string_view part = text.substr(start, q == std::string_view::npos ? std::string_view::npos : q - start);
        if (!part.empty()) {
            out += (first ? "'" : ",'") + std::string(part) + "'";
            first = false;
        }
        if (q == std::string_view::npos) break;
        out += first ? "\"'\"" : ",\"'\"";
        first = false;
        start = q + 1;
    }
    return out + ")";
}

}  // namespace qel::mixer
