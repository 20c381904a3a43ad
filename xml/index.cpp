// Loading: the element index, its storage and the element pass.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/strings.h"
#include "xml/document.h"

using xml::ElementRecord;
using xml::NameToken;
using xml::NodeRecord;

namespace {

constexpr std::uint32_t kBlockSize = 0x10000;  // entries per block

// Offsets are 32-bit; a text this long cannot be indexed.
constexpr std::size_t kMaxText = 0x7fffffff;

std::uint32_t PackTagLengths(std::uint32_t startTag, std::uint32_t endTag) {
    return (startTag & 0x3fffff) | (endTag << 22);
}

std::string NameOf(const NameToken& token) {
    if (token.nameEnd < token.nameStart) return std::string();
    return std::string(token.text + token.nameStart, static_cast<std::size_t>(token.nameEnd - token.nameStart + 1));
}

// An open element on the element pass's stack.
struct OpenElement {
    NodeRecord node;
    std::uint32_t index = 0;
};

}  // namespace

CXmlDocument::CXmlDocument() { LoadText(std::string()); }

CXmlDocument::~CXmlDocument() = default;

bool CXmlDocument::LoadText(const char* text) { return LoadText(std::string(text ? text : "")); }

bool CXmlDocument::LoadText(const std::string& text) {
    // The scanner stops at a zero byte, so the document ends there too.
    m_strDoc.assign(text.c_str(), std::strlen(text.c_str()));
    m_strError.clear();
    Load();
    return ParseSucceeded();
}

bool CXmlDocument::ParseSucceeded() const {
    if (m_nRecordCapacity == 0) return false;
    const ElementRecord& document = Rec(0);
    if (document.flagsAndLevel & xml::ELEM_ILL_FORMED) return false;
    return document.firstChild != 0 && Rec(document.firstChild).nextSibling == 0;
}

void CXmlDocument::ResetCursor() {
    m_iPosParent = m_iPos = m_iPosChild = 0;
    m_nNodeType = 0;
    m_nNodeOffset = m_nNodeLength = 0;
}

void CXmlDocument::Load() {
    ResetCursor();
    if (m_strDoc.size() > kMaxText) m_strDoc.clear();  // refused below as an empty text
    const std::uint32_t length = static_cast<std::uint32_t>(m_strDoc.size());

    m_nRecordsInUse = 1;
    GrowIndex(length / 64 + 8);
    m_iPosFree = 0;
    Rec(0) = ElementRecord{};

    if (length == 0) {
        m_strError = "Empty document";
    } else {
        NameToken token(m_strDoc.c_str(), m_nDocFlags);
        const std::uint32_t root = BuildIndex(0, token);
        Rec(0).length = length;
        if (root == 0) {
            m_strError = "No root element";
        } else {
            Rec(0).firstChild = root;
            if (Rec(root).nextSibling != 0) m_strError = "Root element has sibling";
        }
    }
    ResetCursor();
}

void CXmlDocument::GrowIndex(std::uint32_t request) {
    std::uint64_t wanted = request;
    if (wanted == 0) wanted = std::uint64_t(m_nRecordsInUse) + m_nRecordsInUse / 2;
    if (m_nRecordCapacity >= wanted) return;

    // At most one new block per call: stop at the end of the block that
    // follows the current last one.
    const bool hasBlocks = m_nRecordCapacity != 0;
    const std::uint32_t oldLast = hasBlocks ? (m_nRecordCapacity - 1) / kBlockSize : 0;
    const std::uint64_t limit = hasBlocks ? (std::uint64_t(oldLast) + 2) * kBlockSize : kBlockSize;
    wanted = std::min(wanted, limit);
    const std::uint32_t capacity = static_cast<std::uint32_t>(wanted);
    const std::uint32_t newLast = (capacity - 1) / kBlockSize;

    if (newLast >= m_nBlockTableCapacity) {
        const std::uint32_t tableCapacity = 2 * newLast + 4;
        std::unique_ptr<Block[]> table(new Block[tableCapacity]);
        for (std::uint32_t i = 0; i < m_nBlockTableCapacity; ++i) table[i] = std::move(m_blocks[i]);
        m_blocks = std::move(table);
        m_nBlockTableCapacity = tableCapacity;
    }

    // The old last block is enlarged or completed by copying it into a new
    // allocation; a new last block starts out zeroed.
    if (hasBlocks) {
        const std::uint32_t oldSize = m_nRecordCapacity - oldLast * kBlockSize;
        const std::uint32_t newSize = newLast > oldLast ? kBlockSize : capacity - oldLast * kBlockSize;
        if (newSize > oldSize) {
            Block block(new ElementRecord[newSize]());
            std::copy(m_blocks[oldLast].get(), m_blocks[oldLast].get() + oldSize, block.get());
            m_blocks[oldLast] = std::move(block);
        }
    }
    if (!hasBlocks || newLast > oldLast) {
        m_blocks[newLast].reset(new ElementRecord[capacity - newLast * kBlockSize]());
    }
    m_nRecordCapacity = capacity;
}

std::uint32_t CXmlDocument::TakeRecord() {
    if (m_iPosFree != 0) {
        const std::uint32_t index = m_iPosFree;
        m_iPosFree = Rec(index).nextSibling;
        return index;
    }
    if (m_nRecordsInUse >= m_nRecordCapacity) GrowIndex(0);
    return m_nRecordsInUse++;
}

xml::ElementRecord CXmlDocument::GetRecord(std::uint32_t index) const {
    if (index >= m_nRecordsInUse || index >= m_nRecordCapacity) return ElementRecord{};
    return Rec(index);
}

std::uint32_t CXmlDocument::BuildIndex(std::uint32_t parent, NameToken& token) {
    m_strError.clear();
    const std::uint32_t level = Rec(parent).Level();
    std::vector<OpenElement> stack(6);
    std::size_t depth = 0;
    std::uint32_t current = parent;
    std::uint32_t first = 0;

    auto markIllFormed = [&]() { Rec(parent).flagsAndLevel |= xml::ELEM_ILL_FORMED; };

    // Closes the open elements from the innermost down to stack slot `down`
    // as never ended: start tag only, children moved up behind them.
    auto closeUnended = [&](std::size_t down, const NodeRecord* endTag) {
        if (depth > down) markIllFormed();
        while (depth > down) {
            const OpenElement& open = stack[depth - 1];
            const std::uint32_t index = open.index;
            ElementRecord& element = Rec(index);
            element.tagLengths = PackTagLengths(element.StartTagLength(), 0);
            element.flagsAndLevel |= xml::ELEM_NOT_ENDED;
            element.length = element.StartTagLength();
            const std::uint32_t up = element.parent;
            if (element.flagsAndLevel & xml::ELEM_HAS_ERROR) {
                element.flagsAndLevel &= ~xml::ELEM_HAS_ERROR;
                Rec(up).flagsAndLevel |= xml::ELEM_HAS_ERROR;
            }
            // The element is its parent's last child, so its children become
            // the parent's last children.
            std::uint32_t behind = index;
            for (std::uint32_t child = element.firstChild; child != 0;) {
                const std::uint32_t next = Rec(child).nextSibling;
                Rec(child).parent = up;
                Rec(behind).nextSibling = child;
                Rec(child).prevSibling = behind;
                Rec(child).nextSibling = 0;
                Rec(Rec(up).firstChild).prevSibling = child;
                behind = child;
                child = next;
            }
            Rec(index).firstChild = 0;
            --depth;
            if (m_strError.empty()) {
                if (endTag == nullptr) {
                    m_strError = platform::Format("Element '%s' at offset %d not ended", open.node.name.c_str(),
                                                  static_cast<int>(open.node.start));
                } else {
                    m_strError = platform::Format(
                        "End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                        NameOf(token).c_str(), static_cast<int>(endTag->start + 1), open.node.name.c_str(),
                        static_cast<int>(open.node.start));
                }
            }
        }
    };

    for (;;) {
        NodeRecord& node = stack[depth].node;
        int type = xml::NextNode(token, node);

        // Tags too long for the packed length field cannot be indexed.
        if ((type == xml::NODE_ELEMENT && node.length >= xml::kMaxStartTag) ||
            (type == xml::NODE_END_TAG && node.length >= xml::kMaxEndTag)) {
            node.name = platform::Format("Incorrect %s at offset %d", "tag length", static_cast<int>(node.start));
            type = node.type = xml::NODE_ERROR;
        }

        if (type == xml::NODE_ELEMENT) {
            const std::uint32_t index = TakeRecord();
            if (first == 0) first = index;
            ElementRecord& element = Rec(index);
            const std::uint32_t startTag = static_cast<std::uint32_t>(node.length);
            element.start = static_cast<std::uint32_t>(node.start);
            element.length = startTag;
            element.tagLengths = PackTagLengths(startTag, 0);
            element.parent = current;
            element.firstChild = 0;
            element.nextSibling = 0;

            ElementRecord& up = Rec(current);
            std::uint32_t flags = 0;
            if (up.firstChild != 0) {
                const std::uint32_t oldLast = Rec(up.firstChild).prevSibling;
                Rec(oldLast).nextSibling = index;
                element.prevSibling = oldLast;
                Rec(up.firstChild).prevSibling = index;
            } else {
                up.firstChild = index;
                element.prevSibling = index;
                flags = xml::ELEM_FIRST_CHILD;
            }
            // The level field is 16 bits; deeper nesting must not spill into the flags.
            element.flagsAndLevel = flags | ((level + static_cast<std::uint32_t>(depth)) & xml::kLevelMask);

            if (!(node.flags & xml::NODE_EMPTY_TAG)) {
                stack[depth].index = index;
                ++depth;
                if (depth == stack.size()) stack.resize(2 * stack.size() + 6);
                current = index;
            }
        } else if (type == xml::NODE_END_TAG) {
            std::size_t match = depth;
            for (std::size_t k = depth; k-- > 0;) {
                if (xml::NameMatches(token, stack[k].node.name.c_str())) {
                    match = k;
                    break;
                }
            }
            if (match == depth) {
                markIllFormed();
                Rec(current).flagsAndLevel |= xml::ELEM_HAS_ERROR;
                if (m_strError.empty()) {
                    m_strError = platform::Format("No start tag for end tag '%s' at offset %d", NameOf(token).c_str(),
                                                  static_cast<int>(node.start));
                }
            } else {
                const NodeRecord endTag = node;
                closeUnended(match + 1, &endTag);
                ElementRecord& element = Rec(stack[match].index);
                element.length = static_cast<std::uint32_t>(endTag.start + endTag.length) - element.start;
                element.tagLengths = PackTagLengths(element.StartTagLength(), static_cast<std::uint32_t>(endTag.length));
                current = element.parent;
                depth = match;
            }
        } else if (type == xml::NODE_ERROR) {
            markIllFormed();
            Rec(current).flagsAndLevel |= xml::ELEM_HAS_ERROR;
            if (m_strError.empty()) m_strError = node.name;
        } else if (type == xml::NODE_END_OF_TEXT) {
            closeUnended(0, nullptr);
            break;
        }
        // Text, white space, CDATA, processing instructions, comments and
        // document type declarations stay in the text and are read on demand.
    }
    return first;
}
