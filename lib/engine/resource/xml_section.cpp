#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <forward_list>
#include <sstream>
#include <string_view>

#include "engine/resource/data_section.h"

namespace {

constexpr uint32_t kNoElement = UINT32_MAX;

class XMLSection;

// A parsed document, and its elements laid out once for reading: each one's
// name and its element children side by side, and its trimmed value once it
// is asked for. A check reads hundreds of values by key; walking the parser's
// nodes and trimming their text at every read cost more than parsing the
// file, and most elements are never read for their value.
class XMLDocument : public ReferenceCount {
  public:
    ~XMLDocument() override;

    // The section of element `at`. An element has one section object while
    // the document lives, made the first time it is asked for: the steps of a
    // check walk the same elements again and again, and made afresh each time
    // the sections cost an allocation and a release per walk. The document
    // is held while any of its sections has an owner.
    DataSectionPtr section(uint32_t at);

    struct Element {
        Element(pugi::xml_node node, uint32_t parent) : node(node), name(node.name()), parent(parent) {}

        pugi::xml_node node;
        std::string_view name;
        uint32_t parent = kNoElement;
        uint32_t firstChild = 0;
        uint32_t childCount = 0;
        bool valueKnown = false;
        std::string_view value;
    };

    pugi::xml_document document;
    std::vector<Element> elements;

    // Lays out `root` and every element below it, breadth first, so that the
    // children of each element follow one another.
    void layOut(pugi::xml_node root, size_t expected) {
        elements.reserve(expected);
        elements.emplace_back(root, kNoElement);
        for (uint32_t at = 0; at < elements.size(); ++at) {
            const auto first = static_cast<uint32_t>(elements.size());
            for (pugi::xml_node child = elements[at].node.first_child(); child;
                 child = child.next_sibling()) {
                if (child.type() == pugi::node_element) {
                    elements.emplace_back(child, at);
                }
            }
            elements[at].firstChild = first;
            elements[at].childCount = static_cast<uint32_t>(elements.size()) - first;
        }
        sections_.assign(elements.size(), nullptr);
    }

    // The first child of element `at` with this tag, or kNoElement.
    uint32_t child(uint32_t at, std::string_view tag) const {
        const Element& parent = elements[at];
        for (uint32_t i = parent.firstChild; i < parent.firstChild + parent.childCount; ++i) {
            if (elements[i].name == tag) {
                return i;
            }
        }
        return kNoElement;
    }

    // The value of element `at`. Like the sections that memoize what they
    // were asked, a document is read by one check at a time.
    std::string_view value(uint32_t at) {
        Element& element = elements[at];
        if (!element.valueKnown) {
            element.value = valueOf(element.node);
            element.valueKnown = true;
        }
        return element.value;
    }

  private:
    // All the text of an element, comments and child elements left out, trimmed
    // once. Nearly every value is one run of text, trimmed where it lies; the
    // runs of the few others are joined and kept here.
    std::string_view valueOf(pugi::xml_node node) {
        const auto isText = [](pugi::xml_node n) {
            const pugi::xml_node_type type = n.type();
            return type == pugi::node_pcdata || type == pugi::node_cdata;
        };
        // A run of text that comes first is kept in the element itself (see parse).
        const std::string_view first = node.value();
        pugi::xml_node run;
        int runs = first.empty() ? 0 : 1;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            if (isText(child) && runs++ == 0) {
                run = child;
            }
        }
        if (runs <= 1) {
            return SectionText::trimmed(first.empty() ? std::string_view(run.value()) : first);
        }
        std::string& joined = joinedValues_.emplace_front(first);
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            if (isText(child)) {
                joined += child.value();
            }
        }
        return SectionText::trimmed(joined);
    }

    // A list, which allocates nothing until a value is joined: nearly no
    // document has one, and a deque would take two allocations in each.
    std::forward_list<std::string> joinedValues_;
    std::vector<XMLSection*> sections_;
};

class XMLSection : public DataSection {
  public:
    XMLSection(XMLDocument* doc, uint32_t index) : doc_(doc), index_(index) {}

    std::string sectionName() const override { return std::string(element().name); }

    int countChildren() override { return static_cast<int>(element().childCount); }

    DataSectionPtr openChild(int index) override {
        if (index < 0 || static_cast<uint32_t>(index) >= element().childCount) {
            return nullptr;
        }
        return doc_->section(element().firstChild + static_cast<uint32_t>(index));
    }

    void openSections(const std::string& tag, std::vector<DataSectionPtr>& out) override {
        // Sections are made only for the children asked for, once: a material
        // has dozens of properties, and a check asks for a few kinds of them.
        const std::vector<DataSectionPtr>& sections = sectionsWithTag(tag);
        out.insert(out.end(), sections.begin(), sections.end());
    }

    DataSectionPtr findChild(const std::string& tag) override {
        const uint32_t child = doc_->child(index_, tag);
        return child == kNoElement ? nullptr : doc_->section(child);
    }

    DataSectionPtr parentSection() override {
        const uint32_t parent = element().parent;
        return parent == kNoElement ? nullptr : doc_->section(parent);
    }

    std::string asString(const std::string& /*defaultValue*/) override {
        return std::string(doc_->value(index_));
    }

    bool valueIs(std::string_view text) override { return doc_->value(index_) == text; }

    BinaryPtr asBinary() override {
        std::ostringstream out;
        element().node.print(out, "\t", pugi::format_default);
        std::string s = out.str();
        return BinaryPtr(new BinaryBlock(std::vector<char>(s.begin(), s.end())));
    }

  protected:
    void findSections(const std::string& tag, std::vector<DataSectionPtr>& out) override {
        const XMLDocument::Element& parent = element();
        const uint32_t end = parent.firstChild + parent.childCount;
        // Counted first, so that the list is made at its size at once.
        out.reserve(out.size() +
                    static_cast<size_t>(std::count_if(
                        doc_->elements.begin() + parent.firstChild, doc_->elements.begin() + end,
                        [&tag](const XMLDocument::Element& child) { return child.name == tag; })));
        for (uint32_t i = parent.firstChild; i < end; ++i) {
            if (doc_->elements[i].name == tag) {
                out.push_back(doc_->section(i));
            }
        }
    }

    TextLookup lookUpText(const std::string& path, std::string& text) override {
        // The steps openSection takes (empty steps are skipped), on the laid-out elements.
        const std::string_view steps(path);
        uint32_t at = index_;
        size_t start = 0;
        while (start < steps.size()) {
            size_t end = steps.find('/', start);
            if (end == std::string_view::npos) {
                end = steps.size();
            }
            if (end > start) {
                at = doc_->child(at, steps.substr(start, end - start));
                if (at == kNoElement) {
                    return TextLookup::Missing;
                }
            }
            start = end + 1;
        }
        text.assign(doc_->value(at));
        return TextLookup::Found;
    }

  private:
    const XMLDocument::Element& element() const { return doc_->elements[index_]; }

    // The object stays with the document for the next owner; the children it
    // kept go now, and so does its hold on the document, which may take this
    // object with it.
    void lastOwnerGone() const override {
        const_cast<XMLSection*>(this)->forgetOpenedChildren();
        doc_->decRef();
    }

    XMLDocument* doc_;
    uint32_t index_;
};

XMLDocument::~XMLDocument() {
    // No section has an owner left, or the document would still be held.
    for (XMLSection* section : sections_) {
        delete section;
    }
}

DataSectionPtr XMLDocument::section(uint32_t at) {
    XMLSection*& kept = sections_[at];
    if (kept == nullptr) {
        kept = new XMLSection(this, at);
    }
    if (kept->refCount() == 0) {
        incRef();
    }
    return DataSectionPtr(kept);
}

} // namespace

namespace XMLFile {

namespace {

// A value's first run of text is kept in its element instead of a node of its
// own: most elements hold one value and nothing else, and the parser then makes
// and the layout walks half as many nodes.
constexpr unsigned int kParseOptions = pugi::parse_default | pugi::parse_embed_pcdata;

} // namespace

DataSectionPtr parse(std::string_view name, const BinaryPtr& bytes, std::string& error) {
    SmartPointer<XMLDocument> doc(new XMLDocument);
    pugi::xml_parse_result result =
        doc->document.load_buffer(bytes->data(), bytes->len(), kParseOptions, pugi::encoding_auto);
    if (!result) {
        error = std::string(result.description()) + " at offset " + std::to_string(result.offset);
        return nullptr;
    }
    pugi::xml_node root = doc->document.document_element();
    if (!root) {
        error = "no root element";
        return nullptr;
    }
    (void)name;
    // An element takes some 30 to 50 bytes of a resource file: the table is
    // made about its size at once instead of growing a dozen times. A file of
    // long texts must not reserve room for elements it does not hold.
    constexpr size_t kMostReserved = 4096;
    doc->layOut(root, std::min(bytes->len() / 32 + 4, kMostReserved));
    return doc->section(0);
}

} // namespace XMLFile
