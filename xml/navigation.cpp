// The cursor: selecting elements by name among siblings and children.
#include "platform/strings.h"
#include "xml/document.h"

using xml::NameToken;

namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool EndsTagName(char c) { return IsWhite(c) || (c != '\0' && std::string("<>=\\/?!").find(c) != std::string::npos); }

}  // namespace

std::uint32_t CXmlDocument::FindElement(std::uint32_t parent, std::uint32_t after, const char* name) const {
    std::uint32_t element = after != 0 ? Rec(after).nextSibling : Rec(parent).firstChild;
    if (name == nullptr || name[0] == '\0') return element;

    const char* text = m_strDoc.c_str();
    for (; element != 0; element = Rec(element).nextSibling) {
        // The tag name: after the '<' and any white space, up to white space
        // or one of <>=\/?! (never a trail byte).
        std::size_t p = Rec(element).start + 1;
        while (IsWhite(text[p])) ++p;
        NameToken token(text, m_nDocFlags);
        token.nameStart = static_cast<std::ptrdiff_t>(p);
        while (text[p] != '\0') {
            if (platform::IsLeadByte(static_cast<unsigned char>(text[p])) && text[p + 1] != '\0') {
                p += 2;
                continue;
            }
            if (EndsTagName(text[p])) break;
            ++p;
        }
        token.nameEnd = static_cast<std::ptrdiff_t>(p) - 1;
        if (xml::NameMatches(token, name)) return element;
    }
    return 0;
}

bool CXmlDocument::SelectElement(const char* name) {
    if (m_nRecordCapacity == 0) return false;
    const std::uint32_t found = FindElement(m_iPosParent, m_iPos, name);
    if (found == 0) return false;
    m_iPos = found;
    m_iPosParent = Rec(found).parent;
    m_iPosChild = 0;
    m_nNodeType = xml::NODE_ELEMENT;
    m_nNodeOffset = m_nNodeLength = 0;
    return true;
}

bool CXmlDocument::SelectChildElement(const char* name) {
    if (m_nRecordCapacity == 0) return false;
    if (m_iPos == 0) SelectElement(nullptr);
    const std::uint32_t found = FindElement(m_iPos, m_iPosChild, name);
    if (found == 0) return false;
    m_iPosChild = found;
    m_iPos = Rec(found).parent;
    m_iPosParent = Rec(m_iPos).parent;
    if (m_iPos != 0) m_nNodeType = xml::NODE_ELEMENT;
    m_nNodeOffset = m_nNodeLength = 0;
    return true;
}

void CXmlDocument::RewindChildren() {
    m_iPosChild = 0;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = m_iPos != 0 ? xml::NODE_ELEMENT : 0;
}
