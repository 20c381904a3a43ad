// Guarded deletion of what a source text names: the files of a folder that
// match a mask ("C:\Temp\x\*.*"), with or without its sub-folders, or one
// file. The source must pass five safety rules first; the folder that the
// source names is never removed (its owner removes it).
//
// Links are removed as links: the walk never enters one, a link to a file
// is deleted without touching its target's attributes, a link to a folder
// is removed with the folders. Deletion to the recycle bin is not offered.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "cleanup/busyretry.h"
#include "cleanup/fileinfoarray.h"
#include "platform/app.h"

// Deletes `folder` with everything in it, as the launcher deletes its
// temporary folder (TargetFolderContents on `threads` threads), and then
// the folder itself. Busy files are retried within `retry`'s budget, and so
// is a folder that, once emptied, still reads as not empty (files whose
// delete is pending while someone closes them). True when the folder is gone.
bool DeleteFolderTree(const std::string& folder, CBusyRetry& retry, unsigned threads, bool pumpMessages);

class CQXDeleteFiles {
public:
    // Results of DeleteSource.
    enum Result : int { kDeleted = 0, kInvalidSource = 1, kNotAllDeleted = 2 };

    CQXDeleteFiles() = default;
    virtual ~CQXDeleteFiles() = default;

    // The whole run: validation, collection, the file pass, the folder
    // pass. `pumpMessages` keeps the user interface alive between files.
    int DeleteSource(bool pumpMessages);

    // Aims the deleter at everything inside `folder` (no trailing ''),
    // the way the launcher empties its temporary folder: every file and
    // sub-folder, hidden and system ones too, going on after errors.
    void TargetFolderContents(const std::string& folder);

    // The five rules, in order: not empty; at least 4 characters; no
    // trailing '\'; a drive ("X:") or a network path ("\\"); none of / " < > |.
    // The first rule that fails reports its message.
    bool ValidateSource();
    // Lists the targets of m_strSource in m_files.
    void CollectTargets();
    // Deletes the listed files with the attributes the walk read (only a
    // read-only file has them changed first), removing each listed folder
    // once, as soon as nothing listed in it is left; then removes the
    // folders that no file emptied, children first. True when every file
    // and folder went, every folder could be listed, and no abort came. A
    // file that is already gone counts as deleted; one that is busy is
    // retried within the retry budget (m_pRetry, or one of its own).
    bool DeleteTargets();

    // Splits at the last '\': the text before and the text after it; both
    // empty when there is no '\'.
    static void SplitSourcePath(const std::string& source, std::string& folder, std::string& mask);

    void UpdateProgress();
    void PumpMessages();
    bool IsAbortRequested() const;

    // Receives every status text of a run, in order; the default drops them.
    virtual void OnStatusMessage(std::string text);

    std::string m_strSource;            // folder '\' mask, or one file
    bool m_bRecurse = false;            // sub-folders too: their files go and they are removed
    bool m_bContinueOnError = false;    // go on after a file that cannot be deleted
    bool m_bIncludeHiddenSystem = true;  // hidden and system files too (else they are left alone)
    platform::WindowHandle m_pProgressWnd = nullptr;  // progress bar: percent of files handled
    platform::WindowHandle m_pStatusWnd = nullptr;    // the file at hand, then "Done" or "Error"
    const std::atomic<std::int32_t>* m_pAbortFlag = nullptr;  // non-zero: stop after the file at hand
    int m_nStatusPathLength = 50;
    std::string m_strFailedFiles;  // "path,path,..." of what could not be deleted or listed
    CBusyRetry* m_pRetry = nullptr;  // shared retry budget; not owned (null: one of its own per run)
    CFileInfoArray m_files;
    std::uint32_t m_nTotal = 0;  // records to handle
    std::uint32_t m_nDone = 0;   // files handled
    bool m_bPumpMessages = true;
    // Threads that delete the files (at most kMaxThreads). With one, each
    // file is reported as it goes; with more, this thread keeps the windows
    // alive meanwhile (the bar, and the file handled last), and afterwards
    // OnStatusMessage hears of the files that failed, each with its path
    // and "Delete failed", in the walk's order. A stop after a failure, or
    // an abort, still lets the other workers finish the file in their
    // hands.
    unsigned m_nThreads = 1;
    static constexpr unsigned kMaxThreads = 8;

private:
    class DeletePass;
    // Deletes the files on m_nThreads workers, leaving in m_nDone how many
    // they handled; false when it did not (one thread asked for, or none started).
    bool DeleteWithWorkers(DeletePass& pass, const CBusyRetry& retry);
};
