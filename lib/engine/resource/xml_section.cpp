#include <pugixml.hpp>

#include <sstream>

#include "engine/resource/data_section.h"

namespace {

// Keeps a parsed document alive for as long as any of its sections is held.
class XMLDocument : public ReferenceCount {
  public:
    pugi::xml_document document;
};

class XMLSection : public DataSection {
  public:
    XMLSection(SmartPointer<XMLDocument> doc, pugi::xml_node node) : doc_(std::move(doc)), node_(node) {}

    std::string sectionName() const override { return node_.name(); }

    int countChildren() override {
        ensureChildren();
        return static_cast<int>(children_.size());
    }

    DataSectionPtr openChild(int index) override {
        ensureChildren();
        if (index < 0 || index >= static_cast<int>(children_.size())) {
            return nullptr;
        }
        return DataSectionPtr(new XMLSection(doc_, children_[static_cast<size_t>(index)]));
    }

    void openSections(const std::string& tag, std::vector<DataSectionPtr>& out) override {
        // A parsed tree does not change, and the steps of a check ask the
        // same section (a material of the check's visual) for the same
        // children again and again: they get the sections made the first
        // time. Sections are made only for the children asked for: a
        // material has dozens of properties, and a check asks for a few
        // kinds of them.
        for (const OpenedChildren& opened : openedByTag_) {
            if (opened.tag == tag) {
                out.insert(out.end(), opened.sections.begin(), opened.sections.end());
                return;
            }
        }
        OpenedChildren opened{tag, {}};
        for (pugi::xml_node child : node_.children()) {
            if (child.type() == pugi::node_element && tag == child.name()) {
                opened.sections.push_back(DataSectionPtr(new XMLSection(doc_, child)));
            }
        }
        out.insert(out.end(), opened.sections.begin(), opened.sections.end());
        openedByTag_.push_back(std::move(opened));
    }

    DataSectionPtr findChild(const std::string& tag) override {
        pugi::xml_node child = node_.child(tag.c_str());
        return child ? DataSectionPtr(new XMLSection(doc_, child)) : nullptr;
    }

    DataSectionPtr parentSection() override {
        pugi::xml_node parent = node_.parent();
        if (!parent || parent.type() != pugi::node_element) {
            return nullptr;
        }
        return DataSectionPtr(new XMLSection(doc_, parent));
    }

    std::string asString(const std::string& /*defaultValue*/) override { return textOf(node_); }

    BinaryPtr asBinary() override {
        std::ostringstream out;
        node_.print(out, "\t", pugi::format_default);
        std::string s = out.str();
        return BinaryPtr(new BinaryBlock(std::vector<char>(s.begin(), s.end())));
    }

  protected:
    TextLookup lookUpText(const std::string& path, std::string& text) override {
        // The steps openSection takes (empty steps are skipped), on the nodes.
        pugi::xml_node node = node_;
        if (!path.empty() && path.find('/') == std::string::npos) {
            node = node.child(path.c_str());
            if (!node) {
                return TextLookup::Missing;
            }
            text = textOf(node);
            return TextLookup::Found;
        }
        size_t start = 0;
        std::string step;
        while (start < path.size()) {
            size_t end = path.find('/', start);
            if (end == std::string::npos) {
                end = path.size();
            }
            if (end > start) {
                step.assign(path, start, end - start);
                node = node.child(step.c_str());
                if (!node) {
                    return TextLookup::Missing;
                }
            }
            start = end + 1;
        }
        text = textOf(node);
        return TextLookup::Found;
    }

  private:
    struct OpenedChildren {
        std::string tag;
        std::vector<DataSectionPtr> sections;
    };

    static std::string textOf(const pugi::xml_node& node) {
        // Nearly every value is one run of text, alone or beside child
        // elements (a material property's name): trimmed where it lies.
        const auto isText = [](const pugi::xml_node& n) {
            const pugi::xml_node_type type = n.type();
            return type == pugi::node_pcdata || type == pugi::node_cdata;
        };
        pugi::xml_node run;
        int runs = 0;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            if (isText(child) && runs++ == 0) {
                run = child;
            }
        }
        if (runs <= 1) {
            return runs == 0 ? std::string() : SectionText::trim(std::string_view(run.value()));
        }
        std::string text;
        for (pugi::xml_node child = run; child; child = child.next_sibling()) {
            if (isText(child)) {
                text += child.value();
            }
        }
        return SectionText::trim(text);
    }

    void ensureChildren() {
        if (childrenRead_) {
            return;
        }
        for (pugi::xml_node child : node_.children()) {
            if (child.type() == pugi::node_element) {
                children_.push_back(child);
            }
        }
        childrenRead_ = true;
    }

    SmartPointer<XMLDocument> doc_;
    pugi::xml_node node_;
    bool childrenRead_ = false;
    std::vector<pugi::xml_node> children_;
    std::vector<OpenedChildren> openedByTag_; // children asked for by tag, as made the first time
};

} // namespace

namespace XMLFile {

DataSectionPtr parse(const std::string& name, const BinaryPtr& bytes, std::string& error) {
    SmartPointer<XMLDocument> doc(new XMLDocument);
    pugi::xml_parse_result result =
        doc->document.load_buffer(bytes->data(), bytes->len(), pugi::parse_default, pugi::encoding_auto);
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
    return DataSectionPtr(new XMLSection(doc, root));
}

} // namespace XMLFile
