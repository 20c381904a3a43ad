#include "payload/config.h"

#include <climits>

#include "payload/extractor.h"
#include "payload/md5.h"
#include "platform/strings.h"
#include "xml/document.h"

namespace {

const char kRoot[] = "QX_ZCD";

// Loads `text` and selects the root; false when it is no configuration.
bool OpenConfig(CXmlDocument& doc, const std::string& text) {
    return doc.LoadText(text) && doc.SelectElement(kRoot);
}

// The first child named `key`, wherever it stands among its siblings.
bool ReadKey(CXmlDocument& doc, const char* key, std::string& value) {
    doc.RewindChildren();
    if (!doc.SelectChildElement(key)) return false;
    value = doc.ChildText();
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool IsRunProgram(const std::string& entryName, const std::string& run) {
    std::string name = entryName, program = run;
    for (std::string* text : {&name, &program})
        for (char& c : *text)
            if (c == '/') c = '\\';
    return !program.empty() && platform::CompareNoCase(name, program) == 0;
}

int ConfigInteger(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;  // saturate rather than overflow
    }
    return static_cast<int>(negative ? -value : value);
}

bool ReadLaunchConfig(const std::string& text, LaunchConfig& config) {
    config = LaunchConfig();
    CXmlDocument doc;
    if (!OpenConfig(doc, text)) return false;

    std::string value;
    if (ReadKey(doc, "Run", value)) config.run = value;
    if (ReadKey(doc, "Title", value)) config.title = value;
    if (ReadKey(doc, "Args", value)) config.args = value;
    // Prog matters only to the start-up decision (ConfigSelectsSilent).
    if (ReadKey(doc, "UsePW", value)) config.usePassword = ConfigInteger(value);
    if (ReadKey(doc, "pid", value)) {
        // The digest of the text as decoded, without a terminating zero;
        // an empty pid still has one.
        config.hasPid = true;
        config.password = Md5Digest().DigestText(value.data(), value.size());
    }
    if (ReadKey(doc, "Cache", value)) config.cache = ConfigInteger(value) != 0;
    return true;
}

bool ConfigSelectsSilent(const std::string& text) {
    int prog = 1;
    CXmlDocument doc;
    std::string value;
    if (OpenConfig(doc, text) && ReadKey(doc, "Prog", value)) prog = ConfigInteger(value);
    return prog == 0;
}

bool CSFEFileExtractor::IsSilentConfigured() { return ConfigSelectsSilent(GetDataSegment()); }
