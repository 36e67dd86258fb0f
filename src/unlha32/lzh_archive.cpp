#include "lzh_archive.h"

#include <fcntl.h>
#include <lhasa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "name_text.h"
#include "unlha32.h"

namespace kordel::unlha {

namespace {

// Far more than any real archive holds; keeps a forged one from exhausting memory.
constexpr size_t kMaxMembers = 262144;
constexpr size_t kDecodeBlock = 64 * 1024;

// CRC-16 as LZH uses it: polynomial 0xA001 (reflected), starting at 0.
struct Crc16Table {
    uint16_t v[256];
    constexpr Crc16Table() : v() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            v[i] = uint16_t(c);
        }
    }
};
constexpr Crc16Table kCrcTable;

uint16_t updateCrc16(uint16_t crc, const uint8_t* p, size_t n) {
    while (n--)
        crc = uint16_t((crc >> 8) ^ kCrcTable.v[(crc ^ *p++) & 0xFF]);
    return crc;
}

uint64_t addSaturated(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// liblhasa reads through these callbacks, so we always know how far into the
// file it got: that gives every header's offset and tells a clean end from a
// damaged one.
struct Stream {
    FILE* file;
    uint64_t pos;
};

int streamRead(void* handle, void* buf, size_t len) {
    auto* s = static_cast<Stream*>(handle);
    const size_t n = fread(buf, 1, len, s->file);
    s->pos += n;
    if (n == 0 && ferror(s->file))
        return -1;
    return int(n);
}

int streamSkip(void* handle, size_t bytes) {
    auto* s = static_cast<Stream*>(handle);
    if (bytes <= size_t(INT64_MAX) && fseeko(s->file, off_t(bytes), SEEK_CUR) == 0) {
        s->pos += bytes;
        return 1;
    }
    char buf[4096];
    while (bytes > 0) {
        const size_t n = fread(buf, 1, bytes < sizeof buf ? bytes : sizeof buf, s->file);
        if (n == 0)
            return 0;
        bytes -= n;
        s->pos += n;
    }
    return 1;
}

void streamClose(void*) {}

const LHAInputStreamType kStreamType = {streamRead, streamSkip, streamClose};

// A liblhasa reader positioned at one offset of the file.
class Reader {
public:
    Reader(FILE* file, uint64_t offset) : stream_{file, offset} {
        clearerr(file);
        if (offset > uint64_t(INT64_MAX) || fseeko(file, off_t(offset), SEEK_SET) != 0)
            return;
        input_ = lha_input_stream_new(&kStreamType, &stream_);
        if (input_)
            reader_ = lha_reader_new(input_);
        if (reader_)
            lha_reader_set_dir_policy(reader_, LHA_READER_DIR_PLAIN);
    }
    ~Reader() {
        if (reader_)
            lha_reader_free(reader_);
        if (input_)
            lha_input_stream_free(input_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    LHAReader* get() const { return reader_; }
    uint64_t pos() const { return stream_.pos; }

private:
    Stream stream_;
    LHAInputStream* input_ = nullptr;
    LHAReader* reader_ = nullptr;
};

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// What we take from the raw header bytes ourselves. liblhasa has already
// turned "\" into "/" in level 0 and 1 names, which breaks Shift-JIS names
// whose second byte is 0x5C (such as "表" = 95 5C); the untouched bytes are
// still in raw_data, so the names are read again from there.
struct RawFields {
    bool ok = false;
    std::string_view name;
    std::string_view folder;
    bool hasName = false;
    bool hasFolder = false;
    std::string utf16Name;  // UTF-8, from the UTF-16 fields; empty when none
    std::string utf16Folder;
    bool hasDosTime = false;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    int attribute = -1;
    int unixMode = -1;
    size_t crcOffset = 0;  // of the header CRC field; 0: none
};

// UTF-16LE to UTF-8; U+FFFF separates folders as 0xFF does in the byte fields.
std::string fromUtf16(std::string_view data) {
    std::string out;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char32_t c = le16(reinterpret_cast<const uint8_t*>(data.data() + i));
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < data.size()) {
            const char32_t low = le16(reinterpret_cast<const uint8_t*>(data.data() + i + 2));
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c == 0xFFFF)
            out += '\xFF';
        else
            appendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return out;
}

RawFields parseRawHeader(const uint8_t* d, size_t n) {
    RawFields r;
    if (!d || n < 22)
        return r;
    const int level = d[20];
    size_t off;
    size_t sizeBytes;
    uint64_t next;
    if (level == 0 || level == 1) {
        const size_t nameLen = d[21];
        if (22 + nameLen > n)
            return r;
        r.name = std::string_view(reinterpret_cast<const char*>(d + 22), nameLen);
        r.hasName = true;
        r.dosTime = le16(d + 15);
        r.dosDate = le16(d + 17);
        r.hasDosTime = true;
        r.attribute = d[19];
        if (level == 0) {
            r.ok = true;
            return r;
        }
        // The base header ends with the size of the first extended header.
        const size_t base = size_t(d[0]) + 2;
        if (base < 24 + nameLen || base > n)
            return r;
        next = le16(d + base - 2);
        off = base;
        sizeBytes = 2;
    } else if (level == 2) {
        if (n < 26)
            return r;
        next = le16(d + 24);
        off = 26;
        sizeBytes = 2;
    } else if (level == 3) {
        if (n < 32)
            return r;
        next = le32(d + 28);
        off = 32;
        sizeBytes = 4;
    } else {
        return r;
    }
    // Extended headers: type byte, data, size of the following one.
    while (next != 0 && off <= n && next >= 1 + sizeBytes && next <= n - off) {
        const uint8_t* ext = d + off;
        const auto data =
            std::string_view(reinterpret_cast<const char*>(ext + 1), size_t(next) - 1 - sizeBytes);
        switch (ext[0]) {
            case 0x01:
                r.name = data;
                r.hasName = true;
                break;
            case 0x02:
                r.folder = data;
                r.hasFolder = true;
                break;
            case 0x44:
                r.utf16Name = fromUtf16(data);
                break;
            case 0x45:
                r.utf16Folder = fromUtf16(data);
                break;
            case 0x00:
                if (data.size() >= 2)
                    r.crcOffset = off + 1;
                break;
            case 0x40:
                if (data.size() >= 2)
                    r.attribute = le16(ext + 1);
                break;
            case 0x50:
                if (data.size() >= 2)
                    r.unixMode = le16(ext + 1);
                break;
            default:
                break;
        }
        const uint8_t* tail = ext + next - sizeBytes;
        off += size_t(next);
        next = sizeBytes == 2 ? le16(tail) : le32(tail);
    }
    r.ok = true;
    return r;
}

int osTypeOf(uint8_t lhaOs) {
    switch (lhaOs) {
        case LHA_OS_TYPE_UNKNOWN:  // the generic format is the MS-DOS one
        case LHA_OS_TYPE_MSDOS:
            return UNLHA_OS_MSDOS;
        case LHA_OS_TYPE_UNIX:
            return UNLHA_OS_UNIX;
        case LHA_OS_TYPE_AMIGA:
            return UNLHA_OS_AMIGA;
        case LHA_OS_TYPE_MACOS:
            return UNLHA_OS_MACOS;
        case LHA_OS_TYPE_OS2:
            return UNLHA_OS_OS2;
        case LHA_OS_TYPE_ATARI:
            return UNLHA_OS_ATARI_ST;
        case LHA_OS_TYPE_OS9:
            return UNLHA_OS_OS9;
        case LHA_OS_TYPE_OS9_68K:
            return UNLHA_OS_OS9_68K;
        case LHA_OS_TYPE_OS386:
            return UNLHA_OS_OS386;
        case LHA_OS_TYPE_HUMAN68K:
            return UNLHA_OS_HUMAN68K;
        case LHA_OS_TYPE_CPM:
            return UNLHA_OS_CPM;
        case LHA_OS_TYPE_FLEX:
            return UNLHA_OS_FLEX;
        case LHA_OS_TYPE_RUNSER:
            return UNLHA_OS_RUNSER;
        case LHA_OS_TYPE_WINNT:
            return UNLHA_OS_WINDOWS_NT;
        case LHA_OS_TYPE_WIN95:
            return UNLHA_OS_WINDOWS_95;
        default:
            return UNLHA_OS_OTHER;
    }
}

int64_t fromFileTime(uint64_t ft) {
    return ft == 0 ? -1 : int64_t(ft / 10000000) - 11644473600LL;
}

Member makeMember(const LHAFileHeader* h, Cp932Decoder& sjis) {
    Member m;
    m.method.assign(h->compress_method, strnlen(h->compress_method, 5));
    m.isSymlink = h->symlink_target != nullptr;
    // Amiga LhA 1.22 stores a folder as an empty -lh0- member named "dir/".
    const bool amigaFolder = h->os_type == LHA_OS_TYPE_AMIGA && m.method == "-lh0-" &&
                             h->length == 0 && (!h->filename || !*h->filename);
    m.isDirectory = !m.isSymlink && (m.method == LHA_COMPRESS_TYPE_DIR || amigaFolder);
    m.originalSize = h->length;
    m.storedSize = h->length;
    m.compressedSize = h->compressed_length;
    m.crc = h->crc;
    m.headerLevel = h->header_level;
    m.osType = osTypeOf(h->os_type);
    m.writeTime = h->timestamp;
    if (LHA_FILE_HAVE_EXTRA(h, LHA_FILE_WINDOWS_TIMESTAMPS)) {
        m.createTime = fromFileTime(h->win_creation_time);
        m.accessTime = fromFileTime(h->win_access_time);
    }

    const RawFields raw = parseRawHeader(h->raw_data, h->raw_data_len);
    std::vector<std::string_view> fields;
    if (raw.ok && !m.isSymlink) {
        // The UTF-16 fields, where written, hold the names the others could not.
        if (!raw.utf16Folder.empty())
            fields.push_back(raw.utf16Folder);
        else if (raw.hasFolder)
            fields.push_back(raw.folder);
        if (!raw.utf16Name.empty())
            fields.push_back(raw.utf16Name);
        else if (raw.hasName)
            fields.push_back(raw.name);
    } else {
        // A link's stored name also carries its target; liblhasa has split them.
        if (h->path)
            fields.push_back(h->path);
        if (h->filename)
            fields.push_back(h->filename);
    }
    m.path = decodeStoredPath(fields, sjis);
    m.baseName = std::string(baseNameOf(m.path));

    if (raw.ok && raw.hasDosTime) {
        m.dosDate = raw.dosDate;
        m.dosTime = raw.dosTime;
    } else {
        toDosTime(m.writeTime, &m.dosDate, &m.dosTime);
    }
    m.attribute = raw.ok && raw.attribute >= 0 ? (raw.attribute & 0xFF) : UNLHA_FA_ARCH;
    m.attribute = (m.attribute & ~UNLHA_FA_DIREC) | (m.isDirectory ? UNLHA_FA_DIREC : 0);
    return m;
}

}  // namespace

void toDosTime(int64_t unixTime, uint16_t* date, uint16_t* time) {
    const time_t t = time_t(unixTime);
    struct tm tm;
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) {
        *date = (1 << 5) | 1;  // 1980-01-01
        *time = 0;
        return;
    }
    if (tm.tm_year > 207) {
        *date = uint16_t((127 << 9) | (12 << 5) | 31);
        *time = uint16_t((23 << 11) | (59 << 5) | 29);
        return;
    }
    *date = uint16_t(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    *time = uint16_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

std::unique_ptr<Archive> Archive::open(const std::string& path, int* error) {
    std::unique_ptr<Archive> a(new Archive);
    a->path_ = path;
    // Without blocking: opening a FIFO for reading waits for a writer, and
    // only a regular file is read at all.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ENOENT ? UNLHA_ERROR_NOT_FIND_ARC_FILE : UNLHA_ERROR_ARC_FILE_OPEN;
        return nullptr;
    }
    struct stat st;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        *error = UNLHA_ERROR_NOT_ARC_FILE;
        return nullptr;
    }
    a->file_ = fdopen(fd, "rb");
    if (!a->file_) {
        close(fd);
        *error = UNLHA_ERROR_ARC_FILE_OPEN;
        return nullptr;
    }
    a->fileSize_ = uint64_t(st.st_size);
    a->mtime_ = st.st_mtime;
    unsigned char head[2];
    a->startsWithMz_ = fread(head, 1, 2, a->file_) == 2 && head[0] == 'M' && head[1] == 'Z';
    const int rc = a->scan();
    if (rc != 0) {
        *error = rc;
        return nullptr;
    }
    return a;
}

Archive::~Archive() {
    if (file_)
        fclose(file_);
}

int Archive::scan() {
    Cp932Decoder sjis;
    uint64_t end = 0;
    for (uint64_t start = 0;;) {
        Reader reader(file_, start);
        if (!reader.get())
            return UNLHA_ERROR_CANNOT_READ;  // seek or allocation failed
        while (LHAFileHeader* h = lha_reader_next_file(reader.get())) {
            if (members_.size() >= kMaxMembers || h->raw_data_len > reader.pos()) {
                damaged_ = true;
                break;
            }
            Member m = makeMember(h, sjis);
            m.headerOffset = reader.pos() - h->raw_data_len;
            m.dataOffset = reader.pos();
            if (m.osType == UNLHA_OS_MACOS && h->filename)
                m.storedName = h->filename;
            end = addSaturated(reader.pos(), h->compressed_length);
            members_.push_back(std::move(m));
        }
        if (damaged_ || ferror(file_) || members_.size() >= kMaxMembers)
            break;
        Member refused;
        const uint64_t size = readRefusedHeader(end, &refused, sjis);
        if (size == 0)
            break;
        members_.push_back(std::move(refused));
        start = end = end + size;
    }
    if (members_.empty())
        return ferror(file_) ? UNLHA_ERROR_CANNOT_READ : UNLHA_ERROR_NOT_ARC_FILE;
    if (damaged_ || ferror(file_)) {
        damaged_ = true;
    } else if (end < fileSize_) {
        // liblhasa stops alike at the end and at a header it cannot read. The
        // end is clean only at the end of the file or at the zero byte that marks it.
        clearerr(file_);
        damaged_ = fseeko(file_, off_t(end), SEEK_SET) != 0 || fgetc(file_) != 0;
    } else {
        damaged_ = end > fileSize_;
    }
    for (Member& m : members_) {
        if (!m.storedName.empty() && m.isFile())
            findMacBinaryHeader(m);
    }
    return 0;
}

namespace {

// Far longer than the extended headers of any folder or link entry.
constexpr size_t kMaxLevel1Header = 65536;

// The local time of MS-DOS date and time words, as liblhasa reads them.
int64_t fromDosTime(uint16_t date, uint16_t time) {
    struct tm tm = {};
    tm.tm_sec = (time & 0x1F) * 2;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_hour = time >> 11;
    tm.tm_mday = date & 0x1F;
    tm.tm_mon = ((date >> 5) & 0x0F) - 1;
    tm.tm_year = 80 + (date >> 9);
    tm.tm_isdst = -1;
    return int64_t(mktime(&tm));
}

}  // namespace

// liblhasa refuses some headers that old archivers write, and everything after
// them with them: a symbolic link without its "|target" (LHa for UNIX, levels 1
// and 2) and a level-1 folder entry whose name has no trailing separator. Such
// a header is read here, as strictly as liblhasa reads the others: its size (0
// when the header at offset is anything else) and the member.
uint64_t Archive::readRefusedHeader(uint64_t offset, Member* m, Cp932Decoder& sjis) {
    uint8_t base[26];
    clearerr(file_);
    if (offset > uint64_t(INT64_MAX) || fseeko(file_, off_t(offset), SEEK_SET) != 0 ||
        fread(base, 1, 22, file_) != 22 || std::memcmp(base + 2, LHA_COMPRESS_TYPE_DIR, 5) != 0 ||
        le32(base + 11) != 0) {
        return 0;
    }
    const int level = base[20];
    std::vector<uint8_t> d;
    if (level == 1) {
        // The base header, its checksum, then the extended headers, which a
        // folder or link entry holds and nothing else.
        const size_t nameLength = base[21];
        if (base[0] < 25 + nameLength)
            return 0;
        d.resize(size_t(base[0]) + 2);
        std::memcpy(d.data(), base, 22);
        if (fread(d.data() + 22, 1, d.size() - 22, file_) != d.size() - 22)
            return 0;
        unsigned sum = 0;
        for (size_t i = 2; i < d.size(); ++i)
            sum += d[i];
        if ((sum & 0xFF) != base[1])
            return 0;
        const uint64_t extended = le32(base + 7);
        for (size_t next = le16(d.data() + d.size() - 2); next != 0;
             next = le16(d.data() + d.size() - 2)) {
            const size_t at = d.size();
            if (next < 3 || at + next > kMaxLevel1Header)
                return 0;
            d.resize(at + next);
            if (fread(d.data() + at, 1, next, file_) != next)
                return 0;
        }
        if (extended != d.size() - (size_t(base[0]) + 2))
            return 0;
    } else if (level == 2) {
        if (fread(base + 22, 1, 4, file_) != 4 || le32(base + 7) != 0)
            return 0;
        d.resize(le16(base));
        if (d.size() < sizeof base)
            return 0;
        std::memcpy(d.data(), base, sizeof base);
        if (fread(d.data() + sizeof base, 1, d.size() - sizeof base, file_) !=
            d.size() - sizeof base)
            return 0;
    } else {
        return 0;
    }
    if (offset + d.size() > fileSize_)
        return 0;
    const RawFields raw = parseRawHeader(d.data(), d.size());
    if (!raw.ok || raw.name.find('|') != std::string_view::npos ||
        raw.folder.find('|') != std::string_view::npos) {
        return 0;
    }
    if (raw.crcOffset != 0) {
        const uint16_t stored = le16(d.data() + raw.crcOffset);
        d[raw.crcOffset] = d[raw.crcOffset + 1] = 0;
        if (updateCrc16(0, d.data(), d.size()) != stored)
            return 0;
    }
    const int type = raw.unixMode < 0 ? -1 : raw.unixMode & 0170000;
    m->isSymlink = type == 0120000;
    // liblhasa takes every level-2 folder entry; a level-1 one is ours when
    // nothing says it is anything but a folder.
    m->isDirectory = level == 1 && (type == -1 || type == 0040000);
    if (!m->isSymlink && !m->isDirectory)
        return 0;
    m->path = decodeStoredPath({raw.folder, raw.name}, sjis);
    if (m->path.empty())
        return 0;
    m->baseName = std::string(baseNameOf(m->path));
    m->method = LHA_COMPRESS_TYPE_DIR;
    m->headerLevel = level;
    if (level == 1) {
        m->osType = osTypeOf(d[24 + base[21]]);
        m->dosDate = raw.dosDate;
        m->dosTime = raw.dosTime;
        m->writeTime = fromDosTime(raw.dosDate, raw.dosTime);
        m->attribute = raw.attribute & 0xFF & ~UNLHA_FA_DIREC;
    } else {
        m->osType = osTypeOf(d[23]);
        m->writeTime = le32(d.data() + 15);
        toDosTime(m->writeTime, &m->dosDate, &m->dosTime);
        m->attribute = UNLHA_FA_ARCH;
    }
    if (m->isDirectory)
        m->attribute |= UNLHA_FA_DIREC;
    m->headerOffset = offset;
    m->dataOffset = offset + d.size();
    return d.size();
}

namespace {

// One member's compressed bytes, handed to liblhasa's decoder.
struct Compressed {
    FILE* file;
    uint64_t remaining;
};

size_t readCompressed(void* buf, size_t len, void* handle) {
    auto* c = static_cast<Compressed*>(handle);
    const size_t n = fread(buf, 1, size_t(std::min<uint64_t>(len, c->remaining)), c->file);
    c->remaining -= n;
    return n;
}

// A decoder of one member's data, positioned at its start; null when the
// method is not ours or the file cannot be read.
class Decoder {
public:
    Decoder(FILE* file, const Member& m) : source_{file, m.compressedSize} {
        std::string method = m.method;
        LHADecoderType* type = isLzhMethod(method) ? lha_decoder_for_name(method.data()) : nullptr;
        clearerr(file);
        if (type && m.dataOffset <= uint64_t(INT64_MAX) &&
            fseeko(file, off_t(m.dataOffset), SEEK_SET) == 0)
            decoder_ = lha_decoder_new(type, readCompressed, &source_, size_t(m.storedSize));
    }
    ~Decoder() {
        if (decoder_)
            lha_decoder_free(decoder_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    LHADecoder* get() const { return decoder_; }

private:
    Compressed source_;
    LHADecoder* decoder_ = nullptr;
};

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool allZero(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

constexpr size_t kMacBinarySize = 128;

}  // namespace

bool isLzhMethod(std::string_view method) {
    static constexpr std::string_view kMethods[] = {"-lh0-", "-lh1-", "-lh2-", "-lh3-",
                                                    "-lh4-", "-lh5-", "-lh6-", "-lh7-",
                                                    "-lhd-", "-lzs-", "-lz4-", "-lz5-"};
    return std::find(std::begin(kMethods), std::end(kMethods), method) != std::end(kMethods);
}

// The classic Mac archiver stores a member as MacBinary: a 128-byte header,
// then the forks. Nothing marks it but the header's own fields, so they are
// checked strictly against the LZH header, as lhasa does; the data fork (or
// the resource fork of a file without one) is the member's contents.
void Archive::findMacBinaryHeader(Member& m) {
    if (m.storedSize < kMacBinarySize)
        return;
    Decoder decoder(file_, m);
    if (!decoder.get())
        return;
    uint8_t b[kMacBinarySize];
    size_t got = 0;
    while (got < sizeof b) {
        const size_t n = lha_decoder_read(decoder.get(), b + got, sizeof b - got);
        if (n == 0)
            return;
        got += n;
    }
    const size_t nameLength = b[1];
    if (b[0] != 0 || b[0x4A] != 0 || b[0x52] != 0 || !allZero(b + 0x63, sizeof b - 0x63) ||
        nameLength > 63 || nameLength != m.storedName.size() ||
        m.storedName.compare(0, nameLength, reinterpret_cast<const char*>(b + 2), nameLength) !=
            0 ||
        !allZero(b + 2 + nameLength, 63 - nameLength)) {
        return;
    }
    const uint64_t dataFork = be32(b + 0x53);
    const uint64_t resourceFork = be32(b + 0x57);
    if (((dataFork + resourceFork + kMacBinarySize + 127) & ~uint64_t(127)) != m.storedSize)
        return;
    // Local time since 1904 against UTC since 1970: equal up to a time zone.
    constexpr int64_t kMacEpoch = 2082844800;
    const int64_t modified = int64_t(be32(b + 0x5F)) - kMacEpoch;
    if (modified < 0 || std::abs(modified - m.writeTime) > 14 * 3600)
        return;
    m.skipBytes = kMacBinarySize;
    m.originalSize = dataFork > 0 ? dataFork : resourceFork;
}

int Archive::decode(const Member& m, const DataSink& sink) {
    if (!m.isFile())
        return 0;
    if (!isLzhMethod(m.method) || !lha_decoder_for_name(std::string(m.method).data()))
        return UNLHA_ERROR_METHOD;
    Decoder decoder(file_, m);
    if (!decoder.get())
        return UNLHA_ERROR_CANNOT_READ;  // seek or allocation failed
    std::vector<uint8_t> buf(kDecodeBlock);
    uint64_t total = 0;
    uint16_t crc = 0;
    const uint64_t dataEnd = m.skipBytes + m.originalSize;
    while (const size_t n = lha_decoder_read(decoder.get(), buf.data(), buf.size())) {
        const uint64_t start = total;
        total += n;
        if (total > m.storedSize)
            return UNLHA_ERROR_BROKEN_DATA;
        crc = updateCrc16(crc, buf.data(), n);
        // The CRC covers the whole stream; the sink gets only the contents.
        const uint64_t from = std::max(start, m.skipBytes);
        const uint64_t to = std::min(total, dataEnd);
        if (sink && from < to) {
            if (const int rc = sink(buf.data() + (from - start), size_t(to - from)))
                return rc;
        }
    }
    if (ferror(file_))
        return UNLHA_ERROR_CANNOT_READ;
    if (total != m.storedSize)
        return UNLHA_ERROR_BROKEN_DATA;
    if (crc != m.crc)
        return UNLHA_ERROR_FILE_CRC;
    return 0;
}

}  // namespace kordel::unlha
