// Text access: element content and reference decoding.
#include <cstdlib>
#include <cstring>

#include "platform/strings.h"
#include "xml/document.h"

using xml::NameToken;
using xml::NodeRecord;

namespace {

constexpr std::size_t kCdataOpen = 9;   // "<![CDATA["
constexpr std::size_t kCdataClose = 3;  // "]]>"

// True when a '<' that is a character of its own lies in [begin, end).
bool HasMarkup(const char* text, std::size_t begin, std::size_t end) {
    for (std::size_t p = begin; p < end; ++p) {
        if (platform::IsLeadByte(static_cast<unsigned char>(text[p])) && p + 1 < end) {
            ++p;
        } else if (text[p] == '<') {
            return true;
        }
    }
    return false;
}

// The numeric reference's value as a character of the C locale that the
// launcher runs in: 1 to 255 become the byte of that value; anything else
// (0, negative, wider characters) has no single-byte form.
bool NumericCharacter(long value, char& out) {
    if (value < 1 || value > 255) return false;
    out = static_cast<char>(value);
    return true;
}

}  // namespace

std::string CXmlDocument::ChildText() const { return ElementText(m_iPosChild); }

std::string CXmlDocument::ElementText(std::uint32_t index) const {
    // Index 0 is "no element", not the document's whole text.
    if (index == 0 || index >= m_nRecordsInUse || index >= m_nRecordCapacity) return std::string();
    const xml::ElementRecord& element = Rec(index);
    if (element.firstChild != 0) return std::string();
    if (element.length == element.StartTagLength()) return std::string();

    const char* text = m_strDoc.c_str();
    const std::size_t begin = std::size_t(element.start) + element.StartTagLength();
    const std::size_t end = std::size_t(element.start) + element.length - element.EndTagLength();
    if (end <= begin || end > m_strDoc.size()) return std::string();

    if (!HasMarkup(text, begin, end)) return DecodeEntities(text + begin, static_cast<std::ptrdiff_t>(end - begin));

    std::string result;
    NameToken token(text, m_nDocFlags, begin);
    NodeRecord node;
    while (token.next < end) {
        const int type = xml::NextNode(token, node);
        if (type == xml::NODE_END_OF_TEXT) break;
        // Content nodes end where the element's end tag begins; clamp anyway.
        const std::size_t nodeEnd = node.start + node.length < end ? node.start + node.length : end;
        if (type == xml::NODE_TEXT) {
            result += DecodeEntities(text + node.start, static_cast<std::ptrdiff_t>(nodeEnd - node.start));
        } else if (type == xml::NODE_CDATA) {
            // A section whose keyword was cut short ("<![C]]>") has no body.
            if (nodeEnd >= node.start + kCdataOpen + kCdataClose) {
                result.append(text + node.start + kCdataOpen, nodeEnd - node.start - kCdataOpen - kCdataClose);
            }
        }
    }
    return result;
}

std::string CXmlDocument::DecodeEntities(const char* text, std::ptrdiff_t length) {
    if (text == nullptr) return std::string();
    const std::size_t size = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
    std::string out;
    out.reserve(size);  // the result is never longer

    static const struct {
        const char* name;  // after the '&', with its ';'
        char character;
    } kNamed[] = {{"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};

    std::size_t i = 0;
    while (i < size) {
        const char c = text[i];
        if (c != '&') {
            if (platform::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < size) {
                out.append(text + i, 2);
                i += 2;
            } else {
                out += c;
                ++i;
            }
            continue;
        }

        if (i + 1 < size && text[i + 1] == '#') {
            const bool hex = i + 2 < size && text[i + 2] == 'x';
            const std::size_t digits = i + (hex ? 3 : 2);
            // The ';' must come within the next 8 bytes: at most 7 digits.
            std::size_t semicolon = digits;
            while (semicolon < size && semicolon < digits + 8 && text[semicolon] != ';') ++semicolon;
            if (semicolon >= size || semicolon >= digits + 8) {
                out += '&';
                ++i;  // go on at the '#'
                continue;
            }
            char buffer[9] = {};
            std::memcpy(buffer, text + digits, semicolon - digits);
            const long value = std::strtol(buffer, nullptr, hex ? 16 : 10);
            char decoded;
            if (!NumericCharacter(value, decoded)) {
                out += '&';
                ++i;
                continue;
            }
            out += decoded;
            i = semicolon + 1;
            continue;
        }

        bool replaced = false;
        for (const auto& named : kNamed) {
            const std::size_t nameLength = std::strlen(named.name);
            if (i + nameLength < size && std::memcmp(text + i + 1, named.name, nameLength) == 0) {
                out += named.character;
                i += nameLength + 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += '&';
            ++i;
        }
    }
    return out;
}
