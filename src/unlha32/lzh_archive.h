// Reading an LZH archive through liblhasa: the member list and checked decoding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kordel::unlha {

class Cp932Decoder;

struct Member {
    std::string path;           // UTF-8, "/" between folders
    std::string baseName;       // last element of path
    std::string method;         // such as "-lh5-"
    uint64_t originalSize = 0;  // what extraction writes
    uint64_t compressedSize = 0;
    uint64_t storedSize = 0;  // length of the decoded stream, which the CRC covers
    uint64_t skipBytes = 0;   // a MacBinary header in front of the data
    uint16_t crc = 0;
    uint16_t dosDate = 0;  // local time, as stored (levels 0, 1) or converted
    uint16_t dosTime = 0;
    int64_t writeTime = 0;    // seconds since 1970
    int64_t createTime = -1;  // -1: not stored
    int64_t accessTime = -1;
    int attribute = 0;  // MS-DOS bits
    int osType = 0;     // UNLHA_OS_*
    int headerLevel = 0;
    bool isDirectory = false;
    bool isSymlink = false;
    uint64_t headerOffset = 0;
    uint64_t dataOffset = 0;
    std::string storedName;  // liblhasa's name bytes, kept for classic Mac members

    bool isFile() const { return !isDirectory && !isSymlink; }
};

// -lh0- to -lh7-, -lhd- and LArc's -lzs-, -lz4-, -lz5-. Others that liblhasa
// knows, such as PMarc's, count as unknown methods.
bool isLzhMethod(std::string_view method);

// Sink for decoded data: returns 0 to go on, or an error code that stops decoding.
using DataSink = std::function<int(const uint8_t* data, size_t size)>;

class Archive {
public:
    // Opens the file and reads every header (liblhasa verifies their checksums
    // and CRCs), decompressing nothing but the first 128 bytes of classic Mac
    // members. Null with *error set when the file is not a regular file, cannot
    // be read or holds no LZH member.
    static std::unique_ptr<Archive> open(const std::string& path, int* error);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<Member>& members() const { return members_; }
    // The headers stop before a clean end: damaged or cut short.
    bool damaged() const { return damaged_; }
    uint64_t fileSize() const { return fileSize_; }
    int64_t modificationTime() const { return mtime_; }
    // Bytes in front of the first header (a self-extractor's program part).
    uint64_t leadingBytes() const { return members_.front().headerOffset; }
    bool startsWithMz() const { return startsWithMz_; }

    // Decompresses a member, checks its length and CRC, and hands every piece
    // of data to sink (which may be empty). Returns 0 or an UNLHA_ERROR_* code.
    int decode(const Member& m, const DataSink& sink);

private:
    Archive() = default;
    int scan();
    uint64_t readRefusedHeader(uint64_t offset, Member* m, Cp932Decoder& sjis);
    void findMacBinaryHeader(Member& m);

    std::string path_;
    FILE* file_ = nullptr;
    uint64_t fileSize_ = 0;
    int64_t mtime_ = 0;
    bool startsWithMz_ = false;
    bool damaged_ = false;
    std::vector<Member> members_;
};

// MS-DOS date and time words of a moment, in local time, clamped to 1980..2107.
void toDosTime(int64_t unixTime, uint16_t* date, uint16_t* time);

}  // namespace kordel::unlha
