// Little-endian reads from a range of bytes, such as a file's: a package's
// setup file, an image. The range is checked with Has before each read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class ByteRange {
  public:
    ByteRange(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit ByteRange(const std::vector<std::uint8_t>& bytes)
        : ByteRange(bytes.data(), bytes.size()) {}

    bool Has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    std::size_t Size() const {
        return size_;
    }
    const std::uint8_t* Data(std::size_t offset) const {
        return data_ + offset;
    }
    std::uint8_t At(std::size_t offset) const {
        return data_[offset];
    }
    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
    }
    std::uint32_t U32(std::size_t offset) const {
        return static_cast<std::uint32_t>(U16(offset)) | static_cast<std::uint32_t>(U16(offset + 2))
                                                             << 16;
    }
    // The text before the first zero byte of [offset, offset + length), which
    // must be in the range; false when there is no zero byte.
    bool Text(std::size_t offset, std::size_t length, std::string& text) const {
        for (std::size_t i = 0; i < length; ++i) {
            if (data_[offset + i] == 0) {
                text.assign(reinterpret_cast<const char*>(data_ + offset), i);
                return true;
            }
        }
        return false;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

} // namespace sim
