#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>

namespace quorel {

// A buffer the render thread uses: allocated (zero-filled, so every page is touched) on the
// control thread at allocation time, never resized while rendering.
template <typename T>
class RenderBuffer {
public:
    // False when memory runs out; the buffer is then empty.
    bool allocate(size_t count)
    {
        release();
        data_.reset(new (std::nothrow) T[count]());
        if (!data_) return false;
        size_ = count;
        return true;
    }

    void release()
    {
        data_.reset();
        size_ = 0;
    }

    void clear() noexcept { std::fill_n(data_.get(), size_, T{}); }
    void fill(const T& value) noexcept { std::fill_n(data_.get(), size_, value); }

    T* data() noexcept { return data_.get(); }
    const T* data() const noexcept { return data_.get(); }
    size_t size() const noexcept { return size_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    T& operator[](size_t index) noexcept { return data_[index]; }
    const T& operator[](size_t index) const noexcept { return data_[index]; }

private:
    std::unique_ptr<T[]> data_;
    size_t size_ = 0;
};

using SampleBuffer = RenderBuffer<float>;

}  // namespace quorel
