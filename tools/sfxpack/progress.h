// The progress line sfxpack shows on a terminal while it packs: files and
// bytes done and the rate, rewritten in place a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace sfxpack {

class Progress {
public:
    // Shows nothing unless `enabled`; the line goes to `out`.
    Progress(bool enabled, std::uint64_t files, std::uint64_t bytes, std::FILE* out = stderr);
    // `bytes` more of the current file were read.
    void Advance(std::uint64_t bytes);
    void FileDone();
    // The last line, followed by a line break (when anything was shown).
    void Finish();

private:
    void Show(bool force);

    bool m_enabled;
    std::FILE* m_out;
    std::uint64_t m_files, m_bytes;
    std::uint64_t m_filesDone = 0, m_bytesDone = 0;
    std::chrono::steady_clock::time_point m_start, m_lastShown;
};

}  // namespace sfxpack
