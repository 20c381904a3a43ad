#include "launcher/consoleprogress.h"

#include "launcher/run.h"
#include "platform/console.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace {

constexpr int kBarWidth = 20;
// Longer launcher names are cut, so that the line fits an ordinary console.
constexpr std::size_t kCaptionCharacters = 32;

// Characters (not bytes) of UTF-8 `text`.
std::size_t Characters(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

// `text` cut to `limit` characters, "..." marking the cut.
std::string CutToCharacters(const std::string& text, std::size_t limit) {
    if (Characters(text) <= limit) return text;
    std::size_t kept = 0, end = 0;
    for (; end < text.size(); ++end) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && kept++ == limit - 3) break;
    }
    return text.substr(0, end) + "...";
}

}  // namespace

CConsoleProgress::CConsoleProgress(const std::string& caption, bool showLine)
    : m_strCaption(CutToCharacters(caption, kCaptionCharacters)), m_bShowLine(showLine) {}

bool CConsoleProgress::OnProgress(std::int32_t amount) {
    m_nPos += static_cast<std::uint32_t>(amount);
    Update();
    return !m_bCancel;
}

void CConsoleProgress::SetRange(std::uint64_t total) {
    m_nTotal = total;
    if (!m_bStarted) m_nStartMs = Now();
    m_bStarted = true;
    Update();
}

void CConsoleProgress::SetPosition(std::uint64_t done) {
    m_nPos = done;
    Update();
}

void CConsoleProgress::Update() {
    if (platform::ConsoleInterrupted()) m_bCancel = true;
    if (!m_bShowLine || !m_bStarted || Now() - m_nStartMs < kQuietMs || !CanDraw()) return;
    const std::uint64_t done = m_nPos < m_nTotal ? m_nPos : m_nTotal;
    const int percent = m_nTotal != 0 ? static_cast<int>(done * 100 / m_nTotal) : 100;
    if (percent == m_nDrawnPercent) return;
    std::string bar(static_cast<std::size_t>(percent * kBarWidth / 100), '#');
    bar.resize(kBarWidth, '.');
    const std::string line = platform::Format("%s: extracting [%s] %3d%%", m_strCaption.c_str(), bar.c_str(), percent);
    Write("\r" + line);
    m_nDrawnPercent = percent;
    m_nDrawnWidth = Characters(line);
}

void CConsoleProgress::Clear() {
    if (m_nDrawnPercent < 0) return;
    Write("\r" + std::string(m_nDrawnWidth, ' ') + "\r");
    m_nDrawnPercent = -1;
    m_nDrawnWidth = 0;
}

std::uint64_t CConsoleProgress::Now() const { return platform::MonotonicMilliseconds(); }

bool CConsoleProgress::CanDraw() const { return platform::StandardErrorIsConsole(); }

void CConsoleProgress::Write(const std::string& text) { platform::WriteStandardStream(platform::StandardStream::kError, text); }

void RunOnConsole(CSFEFileExtractor& payload, bool showLine) {
    std::string module;
    CConsoleProgress progress(platform::GetModuleFileName(module) ? platform::FileTitleOf(module) : "launcher",
                              showLine);
    RunWindows windows;
    windows.cancel = &progress.m_bCancel;
    windows.console = &progress;
    ExtractAndRun(payload, windows);
}
