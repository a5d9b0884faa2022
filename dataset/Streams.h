// The framework's streams: an abstract byte stream and a memory stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual void SetSize(int64_t size) = 0;
    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
    int64_t Size() {
        int64_t pos = Seek(0, soCurrent);
        int64_t size = Seek(0, soEnd);
        Seek(pos, soBeginning);
        return size;
    }
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override {
        int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, int64_t(data_.size()) - pos_));
        if (n > 0) std::memcpy(buffer, data_.data() + pos_, size_t(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void* buffer, int64_t count) override {
        if (count <= 0) return 0;
        if (pos_ + count > int64_t(data_.size())) data_.resize(size_t(pos_ + count));
        std::memcpy(data_.data() + pos_, buffer, size_t(count));
        pos_ += count;
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : int64_t(data_.size());
        pos_ = std::max<int64_t>(0, base + offset);
        return pos_;
    }
    void SetSize(int64_t size) override {
        data_.resize(size_t(std::max<int64_t>(0, size)));
        pos_ = std::min<int64_t>(pos_, int64_t(data_.size()));
    }
    const std::vector<uint8_t>& Data() const { return data_; }

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};
