// A fresh folder under the system's temporary path, removed with everything
// in it when the test ends. Paths are Windows paths (Z:\... on posix).
#pragma once

#include <string>

namespace test_util {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return m_path; }
    // `relative` uses '\' separators.
    std::string Path(const std::string& relative) const { return m_path + "\\" + relative; }
    // Writes a file (creating its folders) and returns its path.
    std::string Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    // The native (POSIX) form of the path.
    std::string Native(const std::string& relative = "") const;

private:
    std::string m_path;
};

}  // namespace test_util
