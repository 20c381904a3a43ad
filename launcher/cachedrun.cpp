#include "launcher/cachedrun.h"

#include "cleanup/busyretry.h"
#include "cleanup/deletefiles.h"
#include "launcher/extraction.h"
#include "payload/cachefolder.h"
#include "payload/manifest.h"
#include "payload/runfolder.h"
#include "platform/access.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "zip/archive.h"
#include "zip/caughterror.h"

namespace {

// Rounds of taking the copy's lock and looking at the copy before the run
// settles for a copy of its own: each lost round means another launcher
// made, replaced or deleted the copy just then.
constexpr int kRounds = 3;

bool IsMissing(std::uint32_t error) {
    return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// The launcher's cache folder, made private to the user where it is
// missing (and its base, the user's cache folder, with it). False when it
// is there but not private (somebody else could change what runs), or
// cannot be made.
bool OpenCacheFolder(const std::string& folder) {
    if (platform::IsPrivateFolder(folder)) return true;
    if (!IsMissing(platform::GetLastError())) {
        platform::DebugOutput("launcher: the cache folder " + folder +
                              " is not private to this user: extracting to a temporary folder");
        return false;
    }
    const std::string base = folder.substr(0, platform::FindLastBackslash(folder));
    if (platform::GetFileAttributes(base) == platform::kInvalidAttributes) platform::CreatePrivateDirectory(base);
    // Another launcher may make it at the same moment: whoever made it, it must be private.
    platform::CreatePrivateDirectory(folder);
    if (platform::IsPrivateFolder(folder)) return true;
    platform::DebugOutput("launcher: no cache folder " + folder + ": " + platform::SystemErrorText(platform::GetLastError()));
    return false;
}

enum class CopyState { kMissing, kGood, kDamaged };

// What is at `copy`: nothing, a copy to start the program from, or
// something that must never be started (not private, not as its manifest
// says, no manifest, not a folder).
CopyState Inspect(const std::string& copy) {
    if (platform::GetFileAttributes(copy) == platform::kInvalidAttributes && IsMissing(platform::GetLastError()))
        return CopyState::kMissing;
    std::string manifest;
    if (platform::IsPrivateFolder(copy) && ReadManifest(CopyManifest(copy), manifest) &&
        TreeMatches(CopyFilesFolder(copy), manifest))
        return CopyState::kGood;
    return CopyState::kDamaged;
}

// Removes what is at `copy`, whose lock is held exclusively: a link or a
// file as itself, never what a link points to. True when nothing is left.
bool RemoveDamagedCopy(const std::string& copy) {
    const std::uint32_t attributes = platform::GetFileAttributes(copy);
    if (attributes == platform::kInvalidAttributes) return IsMissing(platform::GetLastError());
    if (attributes & platform::kAttrReparsePoint) return platform::RemoveDirectory(copy) || platform::DeleteFile(copy);
    if (!(attributes & platform::kAttrDirectory)) return platform::DeleteFile(copy);
    CBusyRetry retry;
    return DeleteFolderTree(copy, retry, 1, false);
}

// Claims a run folder in `cacheFolder` (its lock in `lock`) and extracts
// the archive into its files folder. False, holding nothing, when no
// folder can be made there or the archive cannot be opened again.
bool ExtractNewCopy(CZipArchive& archive, const std::string& launcherPath, const LaunchConfig& config,
                    const RunWindows& windows, const std::string& cacheFolder, platform::FolderLock& lock,
                    std::string& folder, ExtractionOutcome& outcome) {
    folder = ClaimRunFolder(cacheFolder, lock);
    if (folder.empty()) return false;
    // A cold start after a lost rename extracts again: the archive closed after the first time.
    const bool open = !archive.IsClosed() || archive.TryOpen(launcherPath);
    if (!open || !platform::CreateDirectory(CopyFilesFolder(folder))) {
        if (platform::RemoveDirectory(folder)) lock.DeleteAndRelease();
        return false;
    }
    outcome = ExtractArchive(archive, launcherPath, config, CopyFilesFolder(folder), windows, ExtractionThreads());
    return true;
}

enum class Commit { kDone, kLost, kFailed };

// Makes the extraction in `fresh` (held by `lock`) the copy at `copy`:
// the manifest last, then one rename. kLost when another launcher's copy
// took the name first; the fresh folder is then gone. kFailed leaves it.
Commit CommitCopy(const std::string& fresh, const std::string& copy, platform::FolderLock& lock) {
    std::string manifest;
    if (!DescribeTree(CopyFilesFolder(fresh), manifest) || !WriteManifest(CopyManifest(fresh), manifest))
        return Commit::kFailed;
    // A virus scanner that opened a new file keeps the folder from moving for a moment.
    CBusyRetry retry;
    if (retry.Run([&] { return platform::MoveFile(fresh, copy); })) {
        lock.DeleteAndRelease();
        return Commit::kDone;
    }
    const std::uint32_t error = platform::GetLastError();
    if (error != platform::kErrorAlreadyExists && error != platform::kErrorFileExists) return Commit::kFailed;
    CBusyRetry deleteRetry;
    if (!DeleteFolderTree(fresh, deleteRetry, 1, false)) return Commit::kFailed;
    lock.DeleteAndRelease();
    return Commit::kLost;
}

// The run starts its program in `folder`, its own copy, which it deletes at its end.
void UseOwnCopy(RunPlace& place, const std::string& folder, const ExtractionOutcome& outcome) {
    place.copy.Release();
    place.ownFolder = folder;
    place.programFolder = CopyFilesFolder(folder);
    place.extraction = outcome;
}

}  // namespace

bool PrepareCachedRun(CZipArchive& archive, const std::string& launcherPath, const std::string& configText,
                      const LaunchConfig& config, const RunWindows& windows, const std::string& askedBase,
                      RunPlace& place) {
    const std::string cacheFolder = LauncherCacheFolder(askedBase, launcherPath);
    if (cacheFolder.empty()) {
        platform::DebugOutput("launcher: no folder for the cache (LOCALAPPDATA, XDG_CACHE_HOME or HOME unset):"
                              " extracting to a temporary folder");
        return false;
    }
    const CZipCentralDir& directory = archive.GetCentralDir();
    const std::string digest = PayloadDigest(configText, launcherPath,
                                             directory.m_nBytesBeforeArchive + directory.m_uDirOffset,
                                             directory.m_uDirSize);
    if (digest.empty() || !OpenCacheFolder(cacheFolder)) return false;
    const std::string copy = cacheFolder + "\\" + CopyFolderName(config.run, digest);
    place.cacheFolder = cacheFolder;

    std::string fresh;
    ExtractionOutcome outcome;
    for (int round = 0; round < kRounds; ++round) {
        // Shared with every run of the copy, and with cold starts making it.
        if (!place.copy.TakeSharedCreating(copy)) continue;
        const CopyState state = Inspect(copy);
        if (state == CopyState::kGood) {
            zip::PassOverErrors([&] { archive.Close(CZipArchive::afterNormal, false); });
            place.programFolder = CopyFilesFolder(copy);
            return true;
        }
        if (state == CopyState::kDamaged) {
            // Deleted only once nobody holds it, and only if it still fails then.
            place.copy.Release();
            if (!place.copy.TryTake(copy, platform::FolderLock::kExclusive)) break;
            const bool replace = Inspect(copy) != CopyState::kGood;
            if (replace && !RemoveDamagedCopy(copy)) break;
            place.copy.Release();
            continue;
        }
        std::string passedOver;
        if (platform::ChooseTempFolderBase(cacheFolder, passedOver).empty()) {
            platform::DebugOutput("launcher: programs cannot start in the cache folder: " + passedOver);
            place.copy.Release();
            place.cacheFolder.clear();
            return false;
        }
        if (!ExtractNewCopy(archive, launcherPath, config, windows, cacheFolder, place.own, fresh, outcome)) break;
        if (!outcome.complete) {
            UseOwnCopy(place, fresh, outcome);
            return true;
        }
        const Commit commit = CommitCopy(fresh, copy, place.own);
        if (commit == Commit::kFailed) {
            UseOwnCopy(place, fresh, outcome);
            return true;
        }
        if (commit == Commit::kDone) {
            place.programFolder = CopyFilesFolder(copy);
            return true;
        }
    }
    // The copy is being replaced, or held damaged: a copy of the run's own.
    place.copy.Release();
    if (!ExtractNewCopy(archive, launcherPath, config, windows, cacheFolder, place.own, fresh, outcome)) {
        place.cacheFolder.clear();
        return false;
    }
    UseOwnCopy(place, fresh, outcome);
    return true;
}
