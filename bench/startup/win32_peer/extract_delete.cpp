// A minimal extract-and-delete program: the peer that the start-up benchmark
// measures the stub against under Wine (bench/startup/bench_startup.py).
// It talks to Windows directly on purpose, with plain Win32 calls and the
// same static zlib as the stub, so that the comparison shows what the stub's
// own layers and its launch add; that is why it includes <windows.h> outside
// platform/. It is no part of the product.
//
//   bench_extract_delete LAUNCHER BASE
//
// Reads the ZIP archive of LAUNCHER (offsets from the file's start, as
// sfxpack writes them), extracts every entry into the fresh folder
// BASE\peer on one thread (CreateDirectory; CreateFile, WriteFile,
// SetFileTime, CloseHandle; CRC-32 checked), then deletes it all
// (FindFirstFile, DeleteFile, RemoveDirectory). Prints
// "extract=SECONDS delete=SECONDS files=N bytes=N"; exits with 0, or 1 with
// a message when anything fails.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/startup/zipwalk.h"

namespace {

constexpr DWORD kChunk = 65536;  // the stub's transfer buffer

[[noreturn]] void Fail(const char* what, const std::wstring& path) {
    std::fprintf(stderr, "bench_extract_delete: %s: %ls (error %lu)\n", what, path.c_str(), GetLastError());
    ExitProcess(1);
}

std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    for (wchar_t& c : out)
        if (c == L'/') c = L'\\';
    return out;
}

void ReadAt(HANDLE file, std::uint64_t offset, void* buffer, DWORD count, const std::wstring& name) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, buffer, count, &got, nullptr) ||
        got != count)
        Fail("cannot read", name);
}

void MakeFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        Fail("cannot create the folder", path);
}

// Creates the folders above `relative` (a name with '\' separators) under `root`.
void MakeParents(const std::wstring& root, const std::wstring& relative, std::wstring& lastMade) {
    const std::size_t end = relative.rfind(L'\\');
    if (end == std::wstring::npos || relative.compare(0, end, lastMade) == 0) return;
    for (std::size_t at = relative.find(L'\\'); at != std::wstring::npos && at <= end; at = relative.find(L'\\', at + 1))
        MakeFolder(root + L"\\" + relative.substr(0, at));
    lastMade = relative.substr(0, end);
}

// Extracts one file entry; returns its size.
std::uint64_t ExtractFile(HANDLE archive, const zipwalk::Entry& entry, const std::wstring& path,
                          std::vector<unsigned char>& in, std::vector<unsigned char>& out, z_stream& stream) {
    unsigned char local[zipwalk::kLocalHeaderSize];
    ReadAt(archive, entry.localHeader, local, sizeof local, path);
    const std::uint32_t data = zipwalk::DataOffset(entry, local);
    if (data == 0 || (entry.method != 0 && entry.method != 8)) Fail("unsupported entry", path);
    LARGE_INTEGER at;
    at.QuadPart = data;
    if (!SetFilePointerEx(archive, at, nullptr, FILE_BEGIN)) Fail("cannot seek", path);

    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create", path);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t written = 0;
    auto write = [&](const unsigned char* bytes, DWORD count) {
        DWORD done = 0;
        if (count != 0 && (!WriteFile(file, bytes, count, &done, nullptr) || done != count)) Fail("cannot write", path);
        crc = crc32(crc, bytes, count);
        written += count;
    };
    std::uint32_t left = entry.packed;
    if (entry.method == 8) inflateReset(&stream);
    int status = Z_OK;
    while (left > 0 && status != Z_STREAM_END) {
        const DWORD want = left < kChunk ? left : kChunk;
        DWORD got = 0;
        if (!ReadFile(archive, in.data(), want, &got, nullptr) || got != want) Fail("cannot read", path);
        left -= want;
        if (entry.method == 0) {
            write(in.data(), want);
            continue;
        }
        stream.next_in = in.data();
        stream.avail_in = want;
        do {
            stream.next_out = out.data();
            stream.avail_out = kChunk;
            status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) Fail("bad data", path);
            write(out.data(), kChunk - stream.avail_out);
        } while (stream.avail_out == 0 && status != Z_STREAM_END);
    }
    FILETIME local_time, utc;
    if (DosDateTimeToFileTime(static_cast<WORD>(entry.dosTime >> 16), static_cast<WORD>(entry.dosTime), &local_time) &&
        LocalFileTimeToFileTime(&local_time, &utc))
        SetFileTime(file, nullptr, nullptr, &utc);
    if (!CloseHandle(file)) Fail("cannot close", path);
    if (crc != entry.crc || written != entry.size) Fail("CRC or size mismatch", path);
    return written;
}

void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) Fail("cannot list", folder);
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(path);
        } else if (!DeleteFileW(path.c_str())) {
            Fail("cannot delete", path);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    if (!RemoveDirectoryW(folder.c_str())) Fail("cannot remove", folder);
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_extract_delete LAUNCHER BASE\n");
        return 2;
    }
    LARGE_INTEGER start, extracted, deleted;
    QueryPerformanceCounter(&start);
    const std::wstring launcher = argv[1];
    const std::wstring root = std::wstring(argv[2]) + L"\\peer";
    HANDLE archive = CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (archive == INVALID_HANDLE_VALUE) Fail("cannot open", launcher);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(archive, &size)) Fail("cannot size", launcher);
    const DWORD tailSize = static_cast<DWORD>(size.QuadPart < static_cast<LONGLONG>(zipwalk::kTailSize)
                                                  ? size.QuadPart
                                                  : static_cast<LONGLONG>(zipwalk::kTailSize));
    std::vector<unsigned char> tail(tailSize);
    ReadAt(archive, static_cast<std::uint64_t>(size.QuadPart) - tailSize, tail.data(), tailSize, launcher);
    zipwalk::Directory directory;
    if (!zipwalk::FindDirectory(tail.data(), tail.size(), directory)) Fail("no ZIP directory in", launcher);
    std::vector<unsigned char> records(directory.size);
    ReadAt(archive, directory.offset, records.data(), directory.size, launcher);
    std::vector<zipwalk::Entry> entries;
    if (!zipwalk::ForEachEntry(records.data(), records.size(), [&](const zipwalk::Entry& e) { entries.push_back(e); }))
        Fail("malformed ZIP directory in", launcher);

    MakeFolder(root);
    std::vector<unsigned char> in(kChunk), out(kChunk);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Fail("inflateInit2", launcher);
    std::wstring lastMade;
    unsigned files = 0;
    std::uint64_t bytes = 0;
    for (const zipwalk::Entry& entry : entries) {
        const std::wstring relative = Wide(entry.IsFolder() ? entry.name.substr(0, entry.name.size() - 1) : entry.name);
        MakeParents(root, relative, lastMade);
        if (entry.IsFolder()) {
            MakeFolder(root + L"\\" + relative);
            continue;
        }
        bytes += ExtractFile(archive, entry, root + L"\\" + relative, in, out, stream);
        ++files;
    }
    inflateEnd(&stream);
    CloseHandle(archive);
    QueryPerformanceCounter(&extracted);
    DeleteTree(root);
    QueryPerformanceCounter(&deleted);
    std::printf("extract=%.3f delete=%.3f files=%u bytes=%llu\n", Seconds(start, extracted), Seconds(extracted, deleted),
                files, static_cast<unsigned long long>(bytes));
    return 0;
}
