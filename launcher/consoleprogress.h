// The console's stand-in for the progress dialog, in a console program (the
// console stub, and the posix launcher): one line on standard error that
// shows how far the extraction has come, and Ctrl+C as its cancel.
//
// The line appears only when it is asked for (not silent), standard error
// is a console, and the extraction has taken about half a second already;
// it is rewritten in place when the percentage changes, and cleared when
// the extraction ends, so that the program's own output starts on a clean
// line. Ctrl+C or Ctrl+Break during the extraction (platform::
// ConsoleInterrupted) raises the cancel flag, as the dialog's cancel does;
// while the program runs they are the program's.
#pragma once

#include <cstdint>
#include <string>

#include "payload/extractor.h"
#include "zip/callback.h"

class CConsoleProgress : public CZipActionCallback {
public:
    // How long the extraction goes before the line appears.
    static constexpr std::uint64_t kQuietMs = 500;

    // `caption` begins the line (the launcher's name).
    CConsoleProgress(const std::string& caption, bool showLine);
    virtual ~CConsoleProgress() = default;
    CConsoleProgress(const CConsoleProgress&) = delete;
    CConsoleProgress& operator=(const CConsoleProgress&) = delete;

    // One entry after another: the archive reports the bytes it wrote.
    bool OnProgress(std::int32_t amount) override;
    void SetEntryTotal(std::uint64_t) override {}  // the line spans the archive, not the entry

    // The extraction begins, with `total` bytes to write; or the bytes the
    // workers have written so far (0 when it starts over).
    void SetRange(std::uint64_t total);
    void SetPosition(std::uint64_t done);
    // The extraction has ended: the line, if shown, goes (the extraction
    // sees to it, however it ends).
    void Clear();

    // Whether the run shows itself (the line was asked for), so that what
    // it leaves behind is named on standard error too.
    bool Shown() const { return m_bShowLine; }

    bool m_bCancel = false;  // raised by Ctrl+C; the run polls it between entries

protected:
    // Milliseconds from a fixed moment, whether the line can be drawn, and
    // where its text goes: the clock and standard error (tests replace them).
    virtual std::uint64_t Now() const;
    virtual bool CanDraw() const;
    virtual void Write(const std::string& text);

private:
    void Update();

    std::string m_strCaption;
    bool m_bShowLine;
    std::uint64_t m_nStartMs = 0;   // when SetRange began the extraction
    bool m_bStarted = false;
    std::uint64_t m_nTotal = 0;     // bytes the extraction writes
    std::uint64_t m_nPos = 0;       // bytes written so far
    int m_nDrawnPercent = -1;       // what the line shows; -1: nothing drawn
    std::size_t m_nDrawnWidth = 0;  // characters on the line, for clearing it
};

// Runs once on the console: ExtractAndRun with the line (unless
// `showLine` is false: a silent run) and Ctrl+C as the cancel.
void RunOnConsole(CSFEFileExtractor& payload, bool showLine);
