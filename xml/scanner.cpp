#include "xml/scanner.h"

#include <cstring>

#include "platform/strings.h"

namespace xml {

namespace {

// Scanner states.
constexpr unsigned kAfterLt = 0x01;         // after '<'
constexpr unsigned kAfterBang = 0x02;       // after "<!"
constexpr unsigned kAfterBangDash = 0x04;   // after "<!-"
constexpr unsigned kAfterBangBracket = 0x08;  // after "<!["
constexpr unsigned kLeadingSpace = 0x10;    // inside leading white space
constexpr unsigned kInDoctype = 0x20;       // inside a document type declaration
constexpr unsigned kInApos = 0x40;          // inside a '...' literal
constexpr unsigned kInQuot = 0x80;          // inside a "..." literal
constexpr unsigned kAfterEquals = 0x100;    // after '=' in a start tag

bool IsWhite(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool EndsName(unsigned char c) { return IsWhite(c) || c == '/' || c == '>'; }

// Characters that may start a tag name: A-Z, '_', ':' and every byte above
// 0x60 (lower-case letters and all bytes from 0x80 up).
bool StartsTagName(unsigned char c) { return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c > 0x60; }

std::string Incorrect(const char* what, std::size_t offset) {
    return platform::Format("Incorrect %s at offset %d", what, static_cast<int>(offset));
}

const char* UnterminatedWhat(int type, unsigned state) {
    if ((state & kInDoctype) || type == NODE_DOCTYPE) return "Doctype";
    switch (type) {
        case NODE_END_TAG: return "Element end tag";
        case NODE_ELEMENT: return "Element tag";
        case NODE_CDATA: return "CDATA Section";
        case NODE_PROCESSING_INSTRUCTION: return "Processing instruction";
        case NODE_COMMENT: return "Comment";
        default: return "tag";
    }
}

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int NextNode(NameToken& token, NodeRecord& node) {
    const char* const text = token.text;
    const std::size_t start = token.next;
    node.start = start;
    node.flags = 0;
    node.name.clear();

    if (text[start] == '\0') {
        node.type = NODE_END_TAG;
        node.length = 0;
        return NODE_END_OF_TEXT;
    }

    int type = NODE_ERROR;
    const char* terminator = nullptr;
    std::size_t terminatorLength = 0;
    unsigned state = 0;
    int last1 = -1, last2 = -1;  // the last two characters seen in a start tag
    std::size_t nameStart = 0;   // non-zero while a tag name is being read
    std::size_t messageOffset = start;
    // Where the previous two characters began, to tell a single-byte
    // character from a trail byte when matching a terminator backwards.
    std::ptrdiff_t prev1 = -1, prev2 = -1;
    std::size_t last = 0;  // the node's last byte, once it has ended
    bool ended = false;

    auto setTerminator = [&](const char* t) {
        terminator = t;
        terminatorLength = std::strlen(t);
    };
    auto fail = [&](const char* what) {
        node.name = Incorrect(what, messageOffset);
        type = NODE_ERROR;
        setTerminator(">");
    };

    std::size_t p = start;
    while (!ended && text[p] != '\0') {
        const unsigned char c = static_cast<unsigned char>(text[p]);
        const std::size_t charLength = (platform::IsLeadByte(c) && text[p + 1] != '\0') ? 2 : 1;
        // A lead byte is never a delimiter; comparing it with ASCII delimiters
        // below is always false, and its trail byte is skipped.
        bool handled = false;

        if (nameStart != 0) {
            if (charLength == 1 && EndsName(c)) {
                if (type == NODE_END_TAG) {
                    token.nameStart = static_cast<std::ptrdiff_t>(nameStart);
                    token.nameEnd = static_cast<std::ptrdiff_t>(p) - 1;
                } else if (type == NODE_ELEMENT || type == NODE_PROCESSING_INSTRUCTION) {
                    node.name.assign(text + nameStart, p - nameStart);
                }
                nameStart = 0;
                last1 = last2 = -1;
            } else {
                handled = true;  // only extends the name
            }
        }

        if (!handled && terminator == nullptr) {
            if (p == start) {
                if (c == '<') {
                    state |= kAfterLt;
                } else if (IsWhite(c)) {
                    state |= kLeadingSpace;
                    type = NODE_WHITESPACE;
                } else {
                    type = NODE_TEXT;
                    setTerminator("<");
                }
            } else if (state & kLeadingSpace) {
                if (c == '<') {
                    last = p - 1;
                    ended = true;
                } else if (!IsWhite(c) || charLength != 1) {
                    state &= ~kLeadingSpace;
                    type = NODE_TEXT;
                    setTerminator("<");
                }
            } else if (state & kAfterLt) {
                state &= ~kAfterLt;
                if (c == '/') {
                    type = NODE_END_TAG;
                    setTerminator(">");
                    nameStart = p + 1;
                } else if (c == '!') {
                    state |= kAfterBang;
                } else if (c == '?') {
                    type = NODE_PROCESSING_INSTRUCTION;
                    setTerminator("?>");
                    nameStart = p + 1;
                } else if (StartsTagName(c)) {
                    type = NODE_ELEMENT;
                    setTerminator(">");
                    nameStart = p;
                } else {
                    fail("tag name character");
                }
            } else if (state & kAfterBang) {
                state &= ~kAfterBang;
                if (c == '-') {
                    state |= kAfterBangDash;
                } else if (c == '[' && !(state & kInDoctype)) {
                    state |= kAfterBangBracket;
                } else if (c == 'D' && !(state & kInDoctype)) {
                    state |= kInDoctype;
                } else if (c == 'E' || c == 'A' || c == 'N') {
                    type = NODE_DOCTYPE;
                    setTerminator(">");
                } else {
                    fail("! tag");
                }
            } else if (state & kAfterBangDash) {
                state &= ~kAfterBangDash;
                if (c == '-') {
                    type = NODE_COMMENT;
                    setTerminator("-->");
                } else {
                    fail("comment tag");
                }
            } else if (state & kAfterBangBracket) {
                state &= ~kAfterBangBracket;
                if (c == 'C') {
                    type = NODE_CDATA;
                    setTerminator("]]>");
                } else {
                    fail("tag");
                }
            } else if (state & kInDoctype) {
                if (c == '<') {
                    state |= kAfterLt;
                } else if (c == '>') {
                    type = NODE_DOCTYPE;
                    last = p;
                    ended = true;
                }
            }
        } else if (!handled) {
            if (c == '>' && !(state & (kInApos | kInQuot)) && terminator[terminatorLength - 1] == '>') {
                // Longer terminators also need their leading characters right
                // before the '>', as characters of their own; they may overlap
                // the node's opening ("<!-->" is a complete comment).
                bool complete = true;
                if (terminatorLength >= 2) {
                    complete = prev1 == static_cast<std::ptrdiff_t>(p) - 1 &&
                               text[p - 1] == terminator[terminatorLength - 2];
                }
                if (complete && terminatorLength >= 3) {
                    complete = prev2 == static_cast<std::ptrdiff_t>(p) - 2 &&
                               text[p - 2] == terminator[terminatorLength - 3];
                }
                if (complete) {
                    if (state & kInDoctype) {
                        // An inner declaration or comment ended; the doctype goes on.
                        terminator = nullptr;
                        terminatorLength = 0;
                        messageOffset = p;
                    } else {
                        if (type == NODE_ELEMENT && last1 == '/' &&
                            (last2 == -1 || IsWhite(static_cast<unsigned char>(last2)) || last2 == '\'' ||
                             last2 == '"')) {
                            node.flags |= NODE_EMPTY_TAG;
                        }
                        last = p;
                        ended = true;
                    }
                }
            } else if (c == '<' && (type == NODE_TEXT || type == NODE_ERROR)) {
                last = p - 1;
                ended = true;
            } else if (type == NODE_ELEMENT) {
                // Quotes open only as an attribute value.
                if (state & kInApos) {
                    if (c == '\'') state &= ~kInApos;
                } else if (state & kInQuot) {
                    if (c == '"') state &= ~kInQuot;
                } else if (state & kAfterEquals) {
                    if (c == '"') {
                        state = (state & ~kAfterEquals) | kInQuot;
                    } else if (c == '\'') {
                        state = (state & ~kAfterEquals) | kInApos;
                    } else if (!IsWhite(c) || charLength != 1) {
                        state &= ~kAfterEquals;  // an unquoted value
                    }
                } else if (c == '=' && last1 != '=') {
                    state |= kAfterEquals;
                }
            } else if (type == NODE_DOCTYPE) {
                if (c == '"' && !(state & kInApos)) {
                    state ^= kInQuot;
                } else if (c == '\'' && !(state & kInQuot)) {
                    state ^= kInApos;
                }
            }
        }

        if (!handled && type == NODE_ELEMENT && nameStart == 0) {
            last2 = last1;
            last1 = charLength == 1 ? c : 0x80;  // a double-byte character is neither '/' nor a quote
        }
        if (!ended) {
            prev2 = prev1;
            prev1 = static_cast<std::ptrdiff_t>(p);
            p += charLength;
        }
    }

    if (!ended) {
        // The text ends inside the node.
        last = p - 1;
        if (type != NODE_TEXT && type != NODE_WHITESPACE) {
            node.name = platform::Format("%s at offset %d unterminated", UnterminatedWhat(type, state),
                                         static_cast<int>(start));
            type = NODE_ERROR;
        }
    }

    token.next = last + 1;
    node.length = token.next - start;
    node.type = type;
    return type;
}

bool NameMatches(const NameToken& token, const char* name) {
    if (name == nullptr) return false;
    const std::ptrdiff_t length = token.nameEnd - token.nameStart + 1;
    const char* tokenName = token.text + token.nameStart;
    const bool noCase = (token.flags & NAME_NO_CASE) != 0;
    for (std::ptrdiff_t i = 0; i < length; ++i) {
        if (name[i] == '\0') return false;
        const bool same = noCase ? FoldCase(name[i]) == FoldCase(tokenName[i]) : name[i] == tokenName[i];
        if (!same) return false;
    }
    const char after = name[length < 0 ? 0 : length];
    return after == '\0' || std::strchr(" =/[]", after) != nullptr;
}

}  // namespace xml
