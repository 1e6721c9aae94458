// A growable byte buffer for large outputs: malloc'ed and grown by realloc, so that growing
// never zero-fills and a large block is moved by remapping its pages rather than copying them.
// A large block asks for transparent huge pages: the kernel then maps it 2 MB at a time, one
// page fault where 4 KB pages would take 512.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string_view>
#include <utility>

namespace hs {

// Asks for transparent huge pages on the whole 2 MB pages inside [p, p + n) of a block that the
// allocator mapped on its own (large blocks are); a hint the system may ignore.
void advise_huge_pages(void* p, std::size_t n) noexcept;

// Where a writer's output goes piece by piece (a file), so that its buffer stays small and warm
// in the cache however large the output; a failure is the sink's own exception.
class OutputSink {
  public:
    virtual void write(std::string_view bytes) = 0;
    // The writer's estimate of the whole output's size, given before its first piece: a hint
    // (a sink that gathers the output can take room for it at once).
    virtual void expect(std::size_t bytes) { static_cast<void>(bytes); }

  protected:
    ~OutputSink() = default;
};

class OutBuffer {
  public:
    OutBuffer() = default;
    explicit OutBuffer(std::size_t capacity) { reserve(capacity); }
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;
    OutBuffer(OutBuffer&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)),
          size_(std::exchange(o.size_, 0)),
          capacity_(std::exchange(o.capacity_, 0)) {}
    OutBuffer& operator=(OutBuffer&& o) noexcept {
        if (this != &o) {
            std::free(data_);
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
            capacity_ = std::exchange(o.capacity_, 0);
        }
        return *this;
    }
    ~OutBuffer() { std::free(data_); }

    // Room for n more bytes after the written ones; growth at least doubles the capacity.
    char* room(std::size_t n) {
        if (capacity_ - size_ < n) grow(n);
        return data_ + size_;
    }
    void commit(std::size_t n) noexcept { size_ += n; }
    void truncate(std::size_t n) noexcept { size_ = n < size_ ? n : size_; }
    void reserve(std::size_t capacity) {
        if (capacity > capacity_) resize_block(capacity);
    }
    // Gives back the capacity beyond the written bytes where it is worth a call.
    void shrink() {
        if (capacity_ - size_ > (std::size_t{1} << 20)) resize_block(size_ == 0 ? 1 : size_);
    }

    std::size_t size() const noexcept { return size_; }
    const char* data() const noexcept { return data_; }
    std::string_view view() const noexcept {
        return size_ == 0 ? std::string_view() : std::string_view(data_, size_);
    }
    operator std::string_view() const noexcept { return view(); }  // NOLINT: a text's bytes
    friend bool operator==(const OutBuffer& a, std::string_view b) noexcept {
        return a.view() == b;
    }

  private:
    [[gnu::noinline]] void grow(std::size_t n) {
        const std::size_t need = size_ + n;
        const std::size_t doubled = capacity_ * 2;
        resize_block(need > doubled ? need : doubled);
    }
    void resize_block(std::size_t capacity) {
        void* p = std::realloc(data_, capacity);
        if (p == nullptr) throw std::bad_alloc();
        data_ = static_cast<char*>(p);
        capacity_ = capacity;
        if (capacity >= kHugeBlock) advise_huge_pages(data_, capacity);
    }

    static constexpr std::size_t kHugeBlock = std::size_t{32} << 20;

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace hs
