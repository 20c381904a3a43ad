// Fuzz target: loads arbitrary bytes as a document, walks it with the cursor,
// reads every element's text and checks the index against the text. The
// first byte picks the code page (single-byte or 932), the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "payload/config.h"
#include "platform/strings.h"
#include "xml/document.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckIndex(const CXmlDocument& doc, const std::string& text) {
    const std::size_t size = doc.GetRecord(0).length;  // the text up to its first zero
    Check(size <= text.size());
    const std::uint32_t count = doc.GetRecordCount();
    for (std::uint32_t i = 1; i < count; ++i) {
        const xml::ElementRecord e = doc.GetRecord(i);
        Check(std::size_t(e.start) + e.length <= size);
        Check(e.StartTagLength() + e.EndTagLength() <= e.length);
        Check(text[e.start] == '<');
        Check(e.parent < count && e.firstChild < count && e.nextSibling < count && e.prevSibling < count);
        if (e.nextSibling != 0) Check(doc.GetRecord(e.nextSibling).parent == e.parent);
        // Decoding never lengthens the content.
        Check(doc.ElementText(i).size() <= e.length);
    }
}

// Visits every element through the cursor, depth first, reading each text.
void Walk(CXmlDocument& doc, std::uint32_t budget) {
    while (budget-- > 0 && doc.SelectChildElement(nullptr)) {
        (void)doc.ChildText();
    }
    doc.RewindChildren();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    platform::SetLeadByteCodePage((data[0] & 1) ? 932 : 0);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    CXmlDocument doc;
    const bool loaded = doc.LoadText(text);
    Check(loaded == doc.GetError().empty());
    CheckIndex(doc, text);

    // The roots, each with its children.
    std::uint32_t roots = 0;
    while (roots++ < 64 && doc.SelectElement(nullptr)) Walk(doc, 4096);
    // The names the launcher looks up.
    doc.LoadText(text);
    if (doc.SelectElement("QX_ZCD")) {
        for (const char* key : {"Run", "Title", "Prog", "UsePW", "pid"}) {
            doc.RewindChildren();
            if (doc.SelectChildElement(key)) (void)doc.ChildText();
        }
    }
    (void)CXmlDocument::DecodeEntities(text.data(), static_cast<std::ptrdiff_t>(text.size()));

    LaunchConfig config;
    if (ReadLaunchConfig(text, config) && config.hasPid) Check(config.password.size() == 32);
    (void)ConfigSelectsSilent(text);

    platform::SetLeadByteCodePage(0);
    return 0;
}
