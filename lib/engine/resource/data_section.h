#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/smart_pointer.h"
#include "engine/math/math_types.h"
#include "engine/resource/binary_block.h"

class DataSection;
using DataSectionPtr = SmartPointer<DataSection>;

// A node of a resource tree: an element of an XML file, an entry of a folder,
// or a block of a binary container. Reads never throw: a missing key or a
// value that does not parse gives the default the caller passed.
class DataSection : public ReferenceCount {
  public:
    ~DataSection() override = default;

    virtual std::string sectionName() const = 0;
    virtual int countChildren() = 0;
    virtual DataSectionPtr openChild(int index) = 0;
    // First direct child with this tag, or null.
    virtual DataSectionPtr findChild(const std::string& tag);
    virtual DataSectionPtr parentSection() { return nullptr; }

    // The section's own value as text, trimmed of surrounding white space.
    virtual std::string asString(const std::string& defaultValue = std::string());
    // Whether that value is `text`. Materials are searched for a property by
    // its name thousands of times a check: a section type that keeps its
    // value compares it where it lies instead of copying it first.
    virtual bool valueIs(std::string_view text) { return asString() == text; }
    // The section's content as bytes (an XML section gives its text form).
    virtual BinaryPtr asBinary() { return nullptr; }

    int asInt(int defaultValue = 0);
    unsigned int asUInt(unsigned int defaultValue = 0);
    float asFloat(float defaultValue = 0.f);
    bool asBool(bool defaultValue = false);
    Vector2 asVector2(const Vector2& defaultValue = Vector2::zero());
    Vector3 asVector3(const Vector3& defaultValue = Vector3::zero());
    Vector4 asVector4(const Vector4& defaultValue = Vector4::zero());
    Matrix asMatrix34(const Matrix& defaultValue = Matrix::identity());

    // Child at a '/'-separated path ("boundingBox/min"); "" is the section itself.
    DataSectionPtr openSection(const std::string& path, bool makeNewSection = false);
    // Every direct child with this tag, in file order (appended to `out`).
    virtual void openSections(const std::string& tag, std::vector<DataSectionPtr>& out);
    // The same children, made the first time they are asked for and kept by
    // this section: the list stays as it is while the section lives. The
    // steps of a check ask the same sections (a material of the check's
    // visual) for the same children again and again.
    const std::vector<DataSectionPtr>& sectionsWithTag(const std::string& tag);

    std::string readString(const std::string& key, const std::string& defaultValue = std::string(),
                           int flags = 0);
    int readInt(const std::string& key, int defaultValue = 0);
    unsigned int readUInt(const std::string& key, unsigned int defaultValue = 0);
    float readFloat(const std::string& key, float defaultValue = 0.f);
    bool readBool(const std::string& key, bool defaultValue = false);
    Vector2 readVector2(const std::string& key, const Vector2& defaultValue = Vector2::zero());
    Vector3 readVector3(const std::string& key, const Vector3& defaultValue = Vector3::zero());
    Vector4 readVector4(const std::string& key, const Vector4& defaultValue = Vector4::zero());
    Matrix readMatrix34(const std::string& key, const Matrix& defaultValue = Matrix::identity());

    class iterator {
      public:
        iterator(DataSection* owner, int index) : owner_(owner), index_(index) {}
        DataSectionPtr operator*() const { return owner_->openChild(index_); }
        iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator!=(const iterator& other) const { return index_ != other.index_; }

      private:
        DataSection* owner_;
        int index_;
    };
    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, countChildren()); }

  protected:
    enum class TextLookup { Unanswered, Missing, Found };
    // The text of the section at `path` (as openSection(path)->asString()
    // gives it), for section types that can tell it without making a section
    // per step: most reads are of one value, and a check makes thousands.
    virtual TextLookup lookUpText(const std::string& /*path*/, std::string& /*text*/) {
        return TextLookup::Unanswered;
    }

    // Every direct child with this tag, found afresh (appended to `out`).
    virtual void findSections(const std::string& tag, std::vector<DataSectionPtr>& out);

    // Lets go of the children kept by sectionsWithTag.
    void forgetOpenedChildren() {
        firstOpened_.reset();
        openedByTag_.clear();
    }

  private:
    struct OpenedChildren {
        std::string tag;
        std::vector<DataSectionPtr> sections;
    };
    // Children asked for by tag, as made the first time; each list stays where
    // it is. Most sections are asked for one tag only (a material for its
    // properties): its list lives in the section, without an allocation of its own.
    std::optional<OpenedChildren> firstOpened_;
    std::vector<std::unique_ptr<OpenedChildren>> openedByTag_;

    // Reads the value at `key` with `parse` (text -> value, or the default),
    // by lookUpText where the section type answers it.
    template <typename T, typename Parse, typename FromSection>
    T readValue(const std::string& key, const T& defaultValue, Parse parse, FromSection fromSection);
};

// Parses section text the way every section type reads values.
namespace SectionText {
std::string trim(std::string_view text);
// The same text without its surrounding blanks, where it lies.
std::string_view trimmed(std::string_view text);
bool parseInt(const std::string& text, long long& value);
bool parseFloat(const std::string& text, float& value);
bool parseBool(const std::string& text, bool& value);
// Reads exactly `count` white-space separated floats.
bool parseFloats(const std::string& text, float* values, int count);
} // namespace SectionText

namespace XMLFile {
// Parses XML text into a section tree; null and a reason on failure.
DataSectionPtr parse(std::string_view name, const BinaryPtr& bytes, std::string& error);
} // namespace XMLFile

// Binary resource containers (the .primitives format). `isContainer` looks at
// the first bytes only.
namespace BinaryContainer {
bool isContainer(const BinaryPtr& bytes);
DataSectionPtr open(const std::string& name, const BinaryPtr& bytes, std::string& error);
} // namespace BinaryContainer

namespace FolderSection {
// A section over a folder: its children are the folder's entries, sorted by
// name; a file entry opens as that file's root section.
DataSectionPtr open(const std::string& absolutePath);
} // namespace FolderSection
