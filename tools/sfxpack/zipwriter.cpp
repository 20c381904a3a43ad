#include "tools/sfxpack/zipwriter.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <ostream>

#include "payload/md5.h"
#include "tools/sfxpack/files.h"
#include "tools/sfxpack/utf8.h"
#include "zip/cipher.h"
#include "zip/entrypath.h"

namespace sfxpack {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMadeByUnix = 3 << 8;  // Unix, so the mode bits count; with the format version below
constexpr std::uint16_t kVersionZip64 = 45;    // the format version that brought Zip64
constexpr std::uint16_t kZip64Tag = 0x0001;
constexpr std::uint16_t kExtendedTimestamp = 0x5455;
constexpr std::uint32_t kCrcField = 14;    // offset of CRC, packed and unpacked size in the local header
constexpr std::uint32_t kLocalSize = 30;   // the local header before its name
// A size or offset from here on does not fit its 32-bit field, which then
// holds all ones (the value is in the Zip64 block).
constexpr std::uint64_t kZip64Limit = 0xFFFFFFFF;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFF;
constexpr std::uint64_t kMaxPlainEntries = 0xFFFF;
constexpr std::size_t kChunk = 1 << 16;
constexpr std::int64_t kFirstDosTime = 315532800;  // 1980-01-01 00:00:00 UTC

// A value for a 32-bit field of the end record: all ones when it does not fit.
std::uint32_t Field32(std::uint64_t value) {
    return value >= kZip64Limit ? kAllOnes : static_cast<std::uint32_t>(value);
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::uint32_t FileCrc(const std::filesystem::path& file, std::vector<unsigned char>& buffer) {
    FileStream in(file.string(), FileStream::kRead);
    uLong crc = crc32(0, nullptr, 0);
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
        crc = crc32(crc, buffer.data(), static_cast<uInt>(in.gcount()));
    }
    if (in.bad()) throw PackError("cannot read " + file.string());
    return static_cast<std::uint32_t>(crc);
}

// A raw deflate stream, ended however the entry ends.
class Deflater {
public:
    explicit Deflater(int level) {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw PackError("cannot set up deflate");
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream* get() { return &m_stream; }

private:
    z_stream m_stream{};
};

}  // namespace

void DosDateTime(std::int64_t utc, std::uint16_t& date, std::uint16_t& time) {
    constexpr std::int64_t kLastDosTime = 4354819198;  // 2107-12-31 23:59:58 UTC
    utc = std::clamp(utc, kFirstDosTime, kLastDosTime);
    std::int64_t days = utc / 86400;
    const std::int64_t seconds = utc % 86400;
    // Civil date of a day count since 1970 (proleptic Gregorian calendar).
    days += 719468;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    time = static_cast<std::uint16_t>(((seconds / 3600) << 11) | (((seconds / 60) % 60) << 5) | ((seconds % 60) / 2));
}

ZipWriter::ZipWriter(std::ostream& out, ZipSettings settings, Progress& progress)
    : m_out(out), m_settings(std::move(settings)), m_progress(progress), m_in(kChunk), m_packed(kChunk) {}

std::uint64_t ZipWriter::Position() {
    const std::streamoff at = m_out.tellp();
    if (at < 0) throw PackError("cannot write the archive");
    return static_cast<std::uint64_t>(at);
}

void ZipWriter::Write(const unsigned char* data, std::size_t size) {
    if (!m_out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)))
        throw PackError("cannot write the archive");
}

Bytes ZipWriter::ExtraField(const Entry& entry) const {
    // The exact modification time, for the tools that read it (the MS-DOS
    // fields hold local time by tradition; these hold UTC, whatever the host).
    Bytes extra;
    if (entry.mtime < kFirstDosTime || entry.mtime > std::numeric_limits<std::int32_t>::max()) return extra;
    Append16(extra, kExtendedTimestamp);
    Append16(extra, 5);
    extra.push_back(1);  // modification time only
    Append32(extra, static_cast<std::uint32_t>(entry.mtime));
    return extra;
}

Bytes ZipWriter::Header(const Entry& e, bool central) const {
    // Zip64: in the local header both sizes (when they may reach 4 GiB),
    // in the central one each value that does not fit its field, in this order.
    const bool size64 = central ? e.size >= kZip64Limit : e.zip64Local;
    const bool packed64 = central ? e.packed >= kZip64Limit : e.zip64Local;
    const bool offset64 = central && e.offset >= kZip64Limit;
    const bool zip64 = size64 || packed64 || offset64;
    Bytes extra;
    if (zip64) {
        Append16(extra, kZip64Tag);
        Append16(extra, 8 * (size64 + packed64 + offset64));
        if (size64) Append64(extra, e.size);
        if (packed64) Append64(extra, e.packed);
        if (offset64) Append64(extra, e.offset);
    }
    const Bytes timestamp = ExtraField(e);
    extra.insert(extra.end(), timestamp.begin(), timestamp.end());
    const std::uint16_t needed = zip64 ? kVersionZip64 : (e.method == 8 || (e.flags & kFlagEncrypted) != 0) ? 20 : 10;
    Bytes h;
    Append32(h, central ? kCentralSignature : kLocalSignature);
    if (central) Append16(h, kMadeByUnix | (zip64 ? kVersionZip64 : 20));
    Append16(h, needed);
    Append16(h, e.flags);
    Append16(h, e.method);
    Append16(h, e.time);
    Append16(h, e.date);
    Append32(h, e.crc);
    Append32(h, packed64 ? kAllOnes : static_cast<std::uint32_t>(e.packed));
    Append32(h, size64 ? kAllOnes : static_cast<std::uint32_t>(e.size));
    Append16(h, static_cast<std::uint32_t>(e.name.size()));
    Append16(h, static_cast<std::uint32_t>(extra.size()));
    if (central) {
        Append16(h, 0);  // comment length
        Append16(h, 0);  // disk
        Append16(h, 0);  // internal attributes
        Append32(h, e.attributes);
        Append32(h, offset64 ? kAllOnes : static_cast<std::uint32_t>(e.offset));
    }
    AppendText(h, e.name);
    h.insert(h.end(), extra.begin(), extra.end());
    return h;
}

void ZipWriter::Add(const ZipSource& source) {
    if (source.name.empty() || source.name.size() > 0xFFFF) throw PackError("no valid entry name: " + source.name);
    if (!IsUtf8(source.name)) throw PackError("the name is not UTF-8, so no archive tool could show it: " + source.name);
    const std::string refusal = zip::EntryNameProblem(source.name);
    if (!refusal.empty()) throw PackError("the launcher would refuse this name, for " + refusal + ": " + source.name);
    const bool folder = source.name.back() == '/';
    Entry e;
    e.name = source.name;
    e.mtime = source.mtime;
    e.flags = IsAscii(source.name) ? 0 : kFlagUtf8;
    DosDateTime(source.mtime, e.date, e.time);
    e.attributes = (source.mode << 16) | (folder ? 0x10 : 0);
    e.offset = Position();
    if (folder) {
        const Bytes header = Header(e, false);
        Write(header.data(), header.size());
    } else {
        if (!m_settings.password.empty()) {
            e.flags |= kFlagEncrypted;
            e.crc = FileCrc(source.file, m_in);
        }
        e.method = m_settings.level == 0 ? 0 : 8;
        const std::uint64_t overhead = (e.flags & kFlagEncrypted) != 0 ? CZipCipher::kHeaderSize : 0;
        // The local header goes before the data, so whether its sizes need
        // a Zip64 block is told by the file's size (a deflated copy larger
        // than that is stored instead).
        std::error_code ec;
        const std::uint64_t expected = std::filesystem::file_size(source.file, ec);
        e.zip64Local = !ec && expected + overhead >= kZip64Limit;
        WriteFile(source, e, true);
        if (e.method == 8 && e.packed - overhead >= e.size) {
            // Deflate did not shrink it (media, archives, tiny files): store
            // it as it is, which the launcher copies instead of inflating.
            m_out.seekp(static_cast<std::streamoff>(e.offset));
            e.method = 0;
            WriteFile(source, e, false);
        }
        if (!e.zip64Local && (e.size >= kZip64Limit || e.packed >= kZip64Limit))
            throw PackError(source.file.string() + " changed while it was packed");
        PatchLocalHeader(e);
        m_progress.FileDone();
    }
    m_entries.push_back(e);
}

void ZipWriter::WriteFile(const ZipSource& source, Entry& e, bool countProgress) {
    FileStream in(source.file.string(), FileStream::kRead);
    const Bytes header = Header(e, false);
    Write(header.data(), header.size());

    const bool encrypt = (e.flags & kFlagEncrypted) != 0;
    CZipCipher cipher;
    std::uint64_t packed = 0;
    if (encrypt) {
        const std::string& password = m_settings.password;
        cipher.InitCipherKeys(reinterpret_cast<const unsigned char*>(password.data()),
                              static_cast<std::uint32_t>(password.size()));
        // The header's first eleven bytes are normally random; derived from
        // the password and the entry instead, the same input packs to the
        // same bytes (traditional encryption is no barrier to a determined
        // attacker either way).
        Md5Digest md5;
        Bytes seed;
        AppendText(seed, password);
        seed.push_back(0);
        AppendText(seed, e.name);
        Append32(seed, e.crc);
        md5.Update(seed.data(), seed.size());
        unsigned char digest[16];
        md5.Finish(digest);
        unsigned char check[CZipCipher::kHeaderSize];
        std::copy(digest, digest + CZipCipher::kHeaderSize - 1, check);
        check[CZipCipher::kHeaderSize - 1] = static_cast<unsigned char>(e.crc >> 24);
        for (unsigned char& b : check) b = cipher.EncryptByte(b);
        Write(check, sizeof check);
        packed = CZipCipher::kHeaderSize;
    }
    auto emit = [&](unsigned char* data, std::size_t size) {
        if (encrypt)
            for (std::size_t i = 0; i < size; ++i) data[i] = cipher.EncryptByte(data[i]);
        packed += size;
        Write(data, size);
    };

    std::unique_ptr<Deflater> deflater;
    if (e.method == 8) deflater = std::make_unique<Deflater>(m_settings.level);
    auto deflate = [&](const unsigned char* data, std::size_t size, int flush) {
        z_stream* z = deflater->get();
        z->next_in = const_cast<unsigned char*>(data);
        z->avail_in = static_cast<uInt>(size);
        int result;
        do {
            z->next_out = m_packed.data();
            z->avail_out = static_cast<uInt>(m_packed.size());
            result = ::deflate(z, flush);
            if (result == Z_STREAM_ERROR) throw PackError("deflate failed on " + source.file.string());
            emit(m_packed.data(), m_packed.size() - z->avail_out);
        } while (z->avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    };

    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t size = 0;
    while (in) {
        in.read(reinterpret_cast<char*>(m_in.data()), static_cast<std::streamsize>(m_in.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        size += got;
        crc = crc32(crc, m_in.data(), static_cast<uInt>(got));
        if (e.method == 8) deflate(m_in.data(), got, Z_NO_FLUSH);
        else emit(m_in.data(), got);
        if (countProgress) m_progress.Advance(got);
    }
    if (in.bad()) throw PackError("cannot read " + source.file.string());
    if (e.method == 8) deflate(nullptr, 0, Z_FINISH);
    if (encrypt && crc != e.crc) throw PackError(source.file.string() + " changed while it was packed");

    e.crc = static_cast<std::uint32_t>(crc);
    e.size = size;
    e.packed = packed;
}

void ZipWriter::PatchLocalHeader(const Entry& e) {
    const std::streamoff end = m_out.tellp();
    Bytes fields;
    Append32(fields, e.crc);
    if (!e.zip64Local) {
        Append32(fields, static_cast<std::uint32_t>(e.packed));
        Append32(fields, static_cast<std::uint32_t>(e.size));
    }
    m_out.seekp(static_cast<std::streamoff>(e.offset) + kCrcField);
    Write(fields.data(), fields.size());
    if (e.zip64Local) {
        // The Zip64 block is the first of the extra field: after its tag and length.
        Bytes sizes;
        Append64(sizes, e.size);
        Append64(sizes, e.packed);
        m_out.seekp(static_cast<std::streamoff>(e.offset + kLocalSize + e.name.size() + 4));
        Write(sizes.data(), sizes.size());
    }
    m_out.seekp(end);
}

std::uint64_t ZipWriter::Finish() {
    const std::uint64_t start = Position();
    for (const Entry& e : m_entries) {
        const Bytes header = Header(e, true);
        Write(header.data(), header.size());
    }
    const std::uint64_t end = Position();
    const std::uint64_t count = m_entries.size();
    Bytes record;
    if (count > kMaxPlainEntries || start >= kZip64Limit || end - start >= kZip64Limit) {
        // The Zip64 end record and its locator, then the end record with
        // all ones where a value does not fit.
        Append32(record, kZip64EndSignature);
        Append64(record, 44);  // the size of the rest of this record
        Append16(record, kMadeByUnix | kVersionZip64);
        Append16(record, kVersionZip64);
        Append32(record, 0);  // this disk
        Append32(record, 0);  // the directory's disk
        Append64(record, count);
        Append64(record, count);
        Append64(record, end - start);
        Append64(record, start);
        Append32(record, kZip64LocatorSignature);
        Append32(record, 0);  // the disk of the Zip64 end record
        Append64(record, end);
        Append32(record, 1);  // disks
    }
    Append32(record, kEndSignature);
    Append16(record, 0);  // this disk
    Append16(record, 0);  // the directory's disk
    Append16(record, static_cast<std::uint32_t>(std::min(count, kMaxPlainEntries)));
    Append16(record, static_cast<std::uint32_t>(std::min(count, kMaxPlainEntries)));
    Append32(record, Field32(end - start));
    Append32(record, Field32(start));
    // A file of even length: tools disagree on how a PE checksum counts an
    // odd last byte, and a one-byte comment keeps them from having to.
    const bool odd = (end + record.size() + 2) % 2 != 0;
    Append16(record, odd ? 1 : 0);  // comment length
    if (odd) record.push_back(' ');
    Write(record.data(), record.size());
    m_out.flush();
    if (!m_out) throw PackError("cannot write the archive");
    return static_cast<std::uint64_t>(m_out.tellp());
}

}  // namespace sfxpack
