// The markup scanner: splits a zero-terminated text into nodes one at a time.
//
// Offsets are byte offsets into the text. The scanner moves one character at
// a time and a double-byte character (lead byte plus trail byte in the
// active ANSI code page) counts as one, so a trail byte is never taken for a
// delimiter. It never reads past the terminating zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xml {

// Node types returned by NextNode.
constexpr int NODE_END_OF_TEXT = -2;
constexpr int NODE_ERROR = -1;
constexpr int NODE_END_TAG = 0;
constexpr int NODE_ELEMENT = 1;  // a start tag
constexpr int NODE_TEXT = 2;
constexpr int NODE_WHITESPACE = 4;
constexpr int NODE_CDATA = 8;
constexpr int NODE_PROCESSING_INSTRUCTION = 16;
constexpr int NODE_COMMENT = 32;
constexpr int NODE_DOCTYPE = 64;  // also a lone <!ELEMENT, <!ATTLIST, <!ENTITY, <!NOTATION

// Node flag: a start tag closed by "/>".
constexpr std::uint32_t NODE_EMPTY_TAG = 0x10000;

// Document flag: name comparisons ignore (ASCII) case.
constexpr std::uint32_t NAME_NO_CASE = 8;

// The result of one scanner step.
struct NodeRecord {
    int type = NODE_END_OF_TEXT;
    std::size_t start = 0;
    std::size_t length = 0;
    std::uint32_t flags = 0;
    // Tag name of a start tag, target of a processing instruction, or the
    // message of an error node.
    std::string name;
};

// Scanner state between steps.
struct NameToken {
    explicit NameToken(const char* text_, std::uint32_t flags_ = 0, std::size_t next_ = 0)
        : next(next_), text(text_), flags(flags_) {}

    // The name last read for an end tag, or by the element search:
    // [nameStart, nameEnd], empty when nameEnd < nameStart.
    std::ptrdiff_t nameStart = 0;
    std::ptrdiff_t nameEnd = -1;
    std::size_t next;   // where the next scan starts
    const char* text;   // zero-terminated, not owned
    std::uint32_t flags;  // document flags
};

// Scans one node starting at token.next into `node`, moves token.next past
// it and returns the node's type. At the terminating zero it returns
// NODE_END_OF_TEXT with length 0. Every other call consumes at least one
// byte. Error nodes carry their message in node.name.
int NextNode(NameToken& token, NodeRecord& node);

// True when the token's name equals `name` byte for byte (ignoring case under
// NAME_NO_CASE) and `name` ends right there: its next character is the
// terminating zero or one of " =/[]".
bool NameMatches(const NameToken& token, const char* name);

}  // namespace xml
