#include "tools/sfxpack/progress.h"

namespace sfxpack {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(200);

double Megabytes(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

Progress::Progress(bool enabled, std::uint64_t files, std::uint64_t bytes, std::FILE* out)
    : m_enabled(enabled), m_out(out), m_files(files), m_bytes(bytes), m_start(std::chrono::steady_clock::now()),
      m_lastShown(m_start) {}

void Progress::Advance(std::uint64_t bytes) {
    m_bytesDone += bytes;
    Show(false);
}

void Progress::FileDone() {
    ++m_filesDone;
    Show(false);
}

void Progress::Finish() {
    if (!m_enabled) return;
    Show(true);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void Progress::Show(bool force) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastShown < kInterval) return;
    m_lastShown = now;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const double rate = seconds > 0 ? Megabytes(m_bytesDone) / seconds : 0.0;
    std::fprintf(m_out, "\r%llu/%llu files, %.1f/%.1f MiB, %.1f MiB/s   ", static_cast<unsigned long long>(m_filesDone),
                 static_cast<unsigned long long>(m_files), Megabytes(m_bytesDone), Megabytes(m_bytes), rate);
    std::fflush(m_out);
}

}  // namespace sfxpack
