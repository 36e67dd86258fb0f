// The bit writer of the test encoders, most significant bit first. Header-only,
// since the benchmarks and the picture tests build the encoders on their own.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace kordel::test {

class BitWriter {
public:
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (used_ == 8) {
                out_.append('\0');
                used_ = 0;
            }
            if ((value >> i) & 1)
                out_[out_.size() - 1] = char(uint8_t(out_.back()) | (0x80 >> used_));
            ++used_;
        }
    }
    void bit(bool b) { put(b ? 1 : 0, 1); }
    // The last byte is padded with zeros.
    QByteArray bytes() const { return out_; }

private:
    QByteArray out_;
    int used_ = 8;  // bits used in the last byte
};

}  // namespace kordel::test
