#include "tools/sfxpack/walk.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>

#include "tools/sfxpack/files.h"

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

// The most files and folders sfxpack packs: far beyond any real application,
// and a bound for a walk through links that reach one folder many times
// over, which could otherwise grow without end.
constexpr std::size_t kMaxEntries = std::size_t{1} << 22;
// Problems named one by one in the refusal; the rest are counted.
constexpr std::size_t kMaxListedProblems = 20;

// Stored permissions: the file type, and rwx for folders and programs or
// rw for other files, whoever owns them and whatever the umask was.
std::uint32_t StoredMode(bool folder, std::uint32_t hostMode) {
    if (folder) return 0040755;
    return (hostMode & 0100) != 0 ? 0100755 : 0100644;
}

// What the walk needs to know of a file or folder.
struct Described {
    std::uint32_t permissions = 0;
    std::int64_t mtime = 0;
    std::int64_t size = 0;
    std::uint64_t device = 0, inode = 0;
};

class Walker {
public:
    Walker(const std::string& folder, LinkPolicy links, std::int64_t latest)
        : m_shownRoot(folder), m_links(links), m_latest(latest), m_disk(archive_read_disk_new(), archive_read_free) {
        if (!m_disk) throw PackError("cannot set up the folder's walk");
        std::error_code ec;
        m_realRoot = fs::canonical(folder, ec);
        if (ec) throw PackError(FileProblem("cannot read the folder", folder, ec));
    }

    FolderEntries Run() {
        // The folder is read by the name the user gave, which shows in
        // messages; only what links point to is read by its resolved path.
        m_onPath.push_back(Describe(m_realRoot, std::string()));
        WalkFolder(m_shownRoot, std::string());
        if (!m_problems.empty()) throw PackError(Refusal());
        std::sort(m_result.entries.begin(), m_result.entries.end(),
                  [](const ZipSource& a, const ZipSource& b) { return a.name < b.name; });
        return std::move(m_result);
    }

private:
    // `source` is the folder to read, `prefix` the archive name of its
    // contents ("" or ending in '/').
    void WalkFolder(const fs::path& source, const std::string& prefix) {
        std::vector<std::string> children;
        std::error_code ec;
        for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec))
            children.push_back(it->path().filename().string());
        if (ec) throw PackError(FileProblem("cannot list", Shown(prefix), ec));
        std::sort(children.begin(), children.end());
        for (const std::string& child : children) {
            const fs::path path = source / child;
            const std::string name = prefix + child;
            const fs::file_status status = fs::symlink_status(path, ec);
            if (ec) throw PackError(FileProblem("cannot read", Shown(name), ec));
            // Windows, and the platform layer that reads the files, take '\' for a separator.
            if (child.find('\\') != std::string::npos)
                m_problems.push_back(Shown(name) + ": a name with '\\', which Windows takes for a folder separator");
            else if (fs::is_symlink(status)) AddLink(path, name);
            else if (fs::is_directory(status)) AddFolder(path, name, std::string());
            else if (fs::is_regular_file(status)) AddFile(path, name);
            else m_problems.push_back(Shown(name) + ": neither a file, a folder nor a link");
        }
    }

    void AddLink(const fs::path& path, const std::string& name) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) throw PackError(FileProblem("cannot read the link", Shown(name), ec));
        const std::string shown = Shown(name) + " -> " + target.string();
        if (m_links == LinkPolicy::kSkip) {
            m_result.skipped.push_back(shown);
            return;
        }
        fs::path resolved = fs::canonical(path, ec);
        if (ec) resolved.clear();
        const LinkTarget where = ClassifyLink(m_realRoot, resolved);
        if (where == LinkTarget::kNowhere) {
            if (ec == std::errc::too_many_symbolic_link_levels)
                m_problems.push_back(shown + ": links that point at each other in a circle");
            else if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
                m_problems.push_back(shown + ": a link to nothing");
            else
                m_problems.push_back(FileProblem("cannot follow", shown, ec));
            m_linkProblems = true;
            return;
        }
        if (where == LinkTarget::kOutside && m_links != LinkPolicy::kFollow) {
            m_problems.push_back(shown + ": a link to outside the folder");
            m_linkProblems = true;
            m_outsideLinks = true;
            return;
        }
        const fs::file_status status = fs::status(resolved, ec);
        if (ec) throw PackError(FileProblem("cannot read", resolved.string(), ec));
        if (fs::is_directory(status)) AddFolder(resolved, name, shown);
        else if (fs::is_regular_file(status)) AddFile(resolved, name);
        else m_problems.push_back(shown + ": a link to neither a file nor a folder");
    }

    // `link` describes the link the folder was reached through, if any.
    void AddFolder(const fs::path& source, const std::string& name, const std::string& link) {
        const Described folder = Describe(source, name);
        const bool onPath = std::any_of(m_onPath.begin(), m_onPath.end(), [&](const Described& above) {
            return above.device == folder.device && above.inode == folder.inode;
        });
        if (onPath) {
            const std::string what = link.empty() ? Shown(name) : link;
            m_problems.push_back(what + ": leads back to a folder that holds it (a loop)");
            m_linkProblems = m_linkProblems || !link.empty();
            return;
        }
        Add(name + "/", fs::path(), StoredMode(true, folder.permissions), folder.mtime);
        m_onPath.push_back(folder);
        WalkFolder(source, name + "/");
        m_onPath.pop_back();
    }

    void AddFile(const fs::path& source, const std::string& name) {
        const Described file = Describe(source, name);
        Add(name, source, StoredMode(false, file.permissions), file.mtime);
    }

    void Add(const std::string& name, const fs::path& file, std::uint32_t mode, std::int64_t mtime) {
        if (m_result.entries.size() >= kMaxEntries)
            throw PackError("the folder holds more than " + std::to_string(kMaxEntries) +
                            " files and folders (copies of linked ones included)");
        ZipSource source;
        source.name = name;
        source.file = file;
        source.mode = mode;
        source.mtime = m_latest >= 0 ? std::min(mtime, m_latest) : mtime;
        m_result.entries.push_back(std::move(source));
    }

    // The file or folder itself, never what a link points to: callers hand
    // over resolved paths for the targets of links.
    Described Describe(const fs::path& source, const std::string& name) {
        std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_copy_sourcepath(entry.get(), source.c_str());
        if (archive_read_disk_entry_from_file(m_disk.get(), entry.get(), -1, nullptr) != ARCHIVE_OK)
            throw PackError(FileProblem("cannot read", Shown(name),
                                        std::error_code(archive_errno(m_disk.get()), std::generic_category())));
        Described described;
        described.permissions = archive_entry_perm(entry.get());
        described.mtime = archive_entry_mtime(entry.get());
        described.size = archive_entry_size(entry.get());
        described.device = archive_entry_dev(entry.get());
        described.inode = archive_entry_ino64(entry.get());
        return described;
    }

    // The path as the user knows it: the folder as given, then the name.
    std::string Shown(const std::string& name) const {
        return name.empty() ? m_shownRoot.string() : (m_shownRoot / name).string();
    }

    std::string Refusal() const {
        std::string text = "the folder holds what cannot be packed:";
        for (std::size_t i = 0; i < m_problems.size() && i < kMaxListedProblems; ++i) text += "\n  " + m_problems[i];
        if (m_problems.size() > kMaxListedProblems)
            text += "\n  ... and " + std::to_string(m_problems.size() - kMaxListedProblems) + " more";
        if (m_outsideLinks) text += "\n--follow-links packs a copy of what a link outside the folder points to.";
        if (m_linkProblems) text += "\n--skip-links leaves every link out.";
        return text;
    }

    fs::path m_shownRoot;  // the folder as the user named it
    fs::path m_realRoot;   // ... with every link on the way resolved
    LinkPolicy m_links;
    std::int64_t m_latest;
    std::unique_ptr<struct archive, int (*)(struct archive*)> m_disk;
    std::vector<Described> m_onPath;  // the folders from the root down to the one being walked
    FolderEntries m_result;
    std::vector<std::string> m_problems;
    bool m_linkProblems = false;   // a refused link is among the problems
    bool m_outsideLinks = false;   // ... one that points outside the folder
};

}  // namespace

LinkTarget ClassifyLink(const fs::path& root, const fs::path& resolved) {
    if (resolved.empty()) return LinkTarget::kNowhere;
    // Compared part by part, so that /app-data is not taken to lie inside /app.
    const auto differ = std::mismatch(root.begin(), root.end(), resolved.begin(), resolved.end());
    return differ.first == root.end() ? LinkTarget::kInside : LinkTarget::kOutside;
}

FolderEntries CollectEntries(const std::string& folder, LinkPolicy links, std::int64_t latest) {
    return Walker(folder, links, latest).Run();
}

}  // namespace sfxpack
