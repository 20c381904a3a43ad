// CXmlDocument: a small non-validating XML parser with an element index and
// a cursor for navigation.
//
// A load copies the text and indexes its elements: for every element, where
// its start tag, content and end tag lie in the text, and links to its
// parent, first child and siblings. Nothing else is copied; text is decoded
// only when asked for. A load never throws on bad input: it indexes what it
// can, keeps the first error message and returns false when the document is
// not well formed. Out of memory surfaces as std::bad_alloc.
//
// Text is narrow text in the ANSI code page; the scanner never takes the
// trail byte of a double-byte character for a delimiter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "xml/scanner.h"

namespace xml {

// Element flags, in ElementRecord::flagsAndLevel above the 16-bit level.
constexpr std::uint32_t ELEM_FIRST_CHILD = 0x80000;  // created as its parent's first child
constexpr std::uint32_t ELEM_NOT_ENDED = 0x100000;
constexpr std::uint32_t ELEM_HAS_ERROR = 0x200000;   // a node inside failed to parse
constexpr std::uint32_t ELEM_ILL_FORMED = 0x800000;  // on the document record only
constexpr std::uint32_t kLevelMask = 0xffff;

// Start tags must be shorter than this, end tags shorter than kMaxEndTag, or
// their lengths would not fit the packed tag-length field; longer tags are
// error nodes.
constexpr std::uint32_t kMaxStartTag = 0x100000;
constexpr std::uint32_t kMaxEndTag = 0x400;

// One entry of the element index. Index 0 is the document record, and so
// also the value for "no element".
struct ElementRecord {
    std::uint32_t start;       // offset of the start tag's '<' (0 for the document)
    std::uint32_t length;      // '<' of the start tag through '>' of the end tag
    std::uint32_t tagLengths;  // start tag length in the low 22 bits, end tag length in the top 10
    std::uint32_t flagsAndLevel;
    std::uint32_t parent;
    std::uint32_t firstChild;
    std::uint32_t nextSibling;
    std::uint32_t prevSibling;  // a first child's points to the last child

    std::uint32_t StartTagLength() const { return tagLengths & 0x3fffff; }
    std::uint32_t EndTagLength() const { return tagLengths >> 22; }
    std::uint32_t Level() const { return flagsAndLevel & kLevelMask; }
};

}  // namespace xml

class CXmlDocument {
public:
    // Loads the empty text, so the error text is "Empty document".
    CXmlDocument();
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Copies `text`, rebuilds the index and returns ParseSucceeded(). A null
    // pointer means the empty text. The text ends at its first zero byte.
    bool LoadText(const std::string& text);
    bool LoadText(const char* text);

    // True when the index exists, the document is well formed and it has
    // exactly one root element.
    bool ParseSucceeded() const;

    // The first error that the last load found, or empty.
    const std::string& GetError() const { return m_strError; }

    // Cursor. A search that finds nothing returns false and leaves the
    // cursor as it was. A null or empty name means any element. Names match
    // exactly and case-sensitively (unless NAME_NO_CASE is set), and a name
    // never matches a longer tag name ("Run" is not <Running>).
    //
    // Searches the siblings after the main position, or from the parent's
    // first child when there is no main position.
    bool SelectElement(const char* name);
    // Searches the children of the main element after the child position,
    // or from its first child. Without a main position it first selects the
    // first root element.
    bool SelectChildElement(const char* name);
    // Child position back to "none", so the next child search starts over.
    void RewindChildren();

    // Decoded text of the current child / of the element at `index`: empty
    // for an element with child elements, an empty-element tag or an
    // element that was never ended. References are decoded, CDATA is taken
    // raw, comments, processing instructions and white-space-only runs
    // between other nodes are dropped; nothing is trimmed.
    std::string ChildText() const;
    std::string ElementText(std::uint32_t index) const;

    // A copy of `length` bytes at `text` (-1: up to the terminating zero)
    // with the references &lt; &amp; &gt; &apos; &quot; and &#N; / &#xN;
    // (values 1 to 255) replaced. Anything else stays as written.
    static std::string DecodeEntities(const char* text, std::ptrdiff_t length = -1);

    std::uint32_t GetParentPosition() const { return m_iPosParent; }
    std::uint32_t GetMainPosition() const { return m_iPos; }
    std::uint32_t GetChildPosition() const { return m_iPosChild; }
    int GetNodeType() const { return m_nNodeType; }

    std::uint32_t GetDocFlags() const { return m_nDocFlags; }
    void SetDocFlags(std::uint32_t flags) { m_nDocFlags = flags; }

    // A copy of index entry `index` (zeros when it was never handed out).
    xml::ElementRecord GetRecord(std::uint32_t index) const;
    // Entries handed out by the last load, the document record included.
    std::uint32_t GetRecordCount() const { return m_nRecordsInUse; }
    std::uint32_t GetRecordCapacity() const { return m_nRecordCapacity; }

private:
    using Block = std::unique_ptr<xml::ElementRecord[]>;

    void Load();
    void GrowIndex(std::uint32_t request);
    std::uint32_t TakeRecord();
    std::uint32_t BuildIndex(std::uint32_t parent, xml::NameToken& token);
    std::uint32_t FindElement(std::uint32_t parent, std::uint32_t after, const char* name) const;
    void ResetCursor();

    xml::ElementRecord& Rec(std::uint32_t index) { return m_blocks[index >> 16][index & 0xffff]; }
    const xml::ElementRecord& Rec(std::uint32_t index) const { return m_blocks[index >> 16][index & 0xffff]; }

    std::string m_strDoc;
    std::string m_strError;
    std::uint32_t m_iPosParent = 0;
    std::uint32_t m_iPos = 0;
    std::uint32_t m_iPosChild = 0;
    std::uint32_t m_nRecordsInUse = 0;
    std::uint32_t m_iPosFree = 0;
    int m_nNodeType = 0;
    std::uint32_t m_nNodeOffset = 0;
    std::uint32_t m_nNodeLength = 0;
    std::uint32_t m_nDocFlags = 0;
    std::unique_ptr<Block[]> m_blocks;
    std::uint32_t m_nRecordCapacity = 0;
    std::uint32_t m_nBlockTableCapacity = 0;
};
