// The Arrow tables.
//
// Each column appends its rows straight into nanoarrow buffers (no per-value dispatch on the
// type); finishing a batch moves those buffers into arrays made from the table's schema and
// validates the result. Every list and text of the store is reached through its checked
// accessors, so a broken reference is an hs::Fault, never a bad read.
#include "export/arrow.hpp"

#include "core/format.hpp"
#include "core/money.hpp"
#include "core/scan.hpp"  // HS_SIMD_SSE2
#include "facts/facts.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace hs::arrow {
namespace {

// nanoarrow reports failures as error codes: out of memory is std::bad_alloc, anything else a
// broken invariant of ours.
[[noreturn, gnu::noinline]] void failed(ArrowErrorCode code, std::string_view what) {
    if (code == ENOMEM) throw std::bad_alloc();
    std::string m(what);
    m += " failed with error code ";
    append_u64(m, static_cast<std::uint64_t>(code));
    fault(std::move(m));
}

inline void check(ArrowErrorCode code, std::string_view what = "arrow call") {
    if (code != NANOARROW_OK) [[unlikely]]
        failed(code, what);
}

// ---------------------------------------------------------------------------------------------
// Buffers
// ---------------------------------------------------------------------------------------------

// A copy of n bytes: the short ones (ids, names) as two overlapping words inline, the others
// through memcpy.
[[gnu::always_inline]] inline void copy_bytes(std::uint8_t* out, const char* in, std::size_t n) {
    if (n - 8 <= 8) {  // 8 .. 16
        std::uint64_t head, tail;
        std::memcpy(&head, in, 8);
        std::memcpy(&tail, in + n - 8, 8);
        std::memcpy(out, &head, 8);
        std::memcpy(out + n - 8, &tail, 8);
    } else if (n - 4 <= 3) {  // 4 .. 7
        std::uint32_t head, tail;
        std::memcpy(&head, in, 4);
        std::memcpy(&tail, in + n - 4, 4);
        std::memcpy(out, &head, 4);
        std::memcpy(out + n - 4, &tail, 4);
    } else if (n != 0) {
        std::memcpy(out, in, n);
    }
}

// Bytes appended at the end (the values of strings and lists).
class Buffer {
  public:
    Buffer() noexcept { ArrowBufferInit(&b_); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { ArrowBufferReset(&b_); }

    // Appends of a fixed size compile to a capacity test and a store (the compiler may keep
    // nanoarrow's general append out of line, with a call to memcpy per value).
    template <class T>
    [[gnu::always_inline]] void push(T v) {
        room(sizeof v);
        std::memcpy(b_.data + b_.size_bytes, &v, sizeof v);
        b_.size_bytes += static_cast<std::int64_t>(sizeof v);
    }
    [[gnu::always_inline]] void bytes(std::string_view s) {
        room(s.size());
        copy_bytes(b_.data + b_.size_bytes, s.data(), s.size());
        b_.size_bytes += static_cast<std::int64_t>(s.size());
    }
    // Room for n more bytes, counted as written: the caller writes them all.
    [[gnu::always_inline]] std::uint8_t* extend(std::size_t n) {
        room(n);
        std::uint8_t* out = b_.data + b_.size_bytes;
        b_.size_bytes += static_cast<std::int64_t>(n);
        return out;
    }
    void reserve(std::int64_t bytes) { check(ArrowBufferReserve(&b_, bytes)); }
    std::int64_t size() const noexcept { return b_.size_bytes; }
    // Hands the bytes to buffer i of an array; this buffer starts empty again.
    void move_into(ArrowArray* a, std::int64_t i) { check(ArrowArraySetBuffer(a, i, &b_)); }

  private:
    [[gnu::always_inline]] void room(std::size_t n) {
        if (b_.capacity_bytes - b_.size_bytes < static_cast<std::int64_t>(n)) [[unlikely]]
            reserve(static_cast<std::int64_t>(n));
    }

    ArrowBuffer b_;
};

// One value of type T per row, written at the row's index: a store, no size to keep per value
// (the table counts the rows once for all its columns) and no capacity test: the table claims
// room for a hand's rows before it writes them (Table::claim), so `put` writes below
// `capacity()`.
template <class T>
class Slots {
  public:
    Slots() noexcept { ArrowBufferInit(&b_); }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    ~Slots() { ArrowBufferReset(&b_); }

    // Slot i, i below the room reserved.
    [[gnu::always_inline]] void put(std::int64_t i, T v) {
        std::memcpy(b_.data + i * static_cast<std::int64_t>(sizeof(T)), &v, sizeof v);
    }
    // Slots i .. i+n-1, below the room reserved.
    [[gnu::always_inline]] void fill(std::int64_t i, std::int64_t n, T v) {
        for (std::int64_t k = 0; k < n; ++k) put(i + k, v);
    }
    // Room for slots 0 .. n-1.
    void reserve(std::int64_t n) {
        if (n > capacity_) grow(n);
    }
    const T* data() const noexcept { return reinterpret_cast<const T*>(b_.data); }
    // Hands slots 0 .. n-1, every one of them set, to buffer i of an array; this starts empty
    // again.
    void move_into(ArrowArray* a, std::int64_t i, std::int64_t n) {
        if (n > capacity_) fault_index(static_cast<std::size_t>(n), capacity_);
        b_.size_bytes = n * static_cast<std::int64_t>(sizeof(T));
        check(ArrowArraySetBuffer(a, i, &b_));
        capacity_ = 0;
    }

  private:
    [[gnu::noinline]] void grow(std::int64_t n) {
        const std::int64_t want = std::max(n, 2 * capacity_);
        check(ArrowBufferReserve(&b_, want * static_cast<std::int64_t>(sizeof(T))));
        capacity_ = b_.capacity_bytes / static_cast<std::int64_t>(sizeof(T));
    }

    ArrowBuffer b_;              // size_bytes stays 0 until the move
    std::int64_t capacity_ = 0;  // slots
};

// Flags of rows, a byte each while the batch fills (one store per row, below the room the table
// claimed, as for Slots), packed into an Arrow bitmap when it is handed over. The bytes are kept
// for the next batch; they are not cleared, since every row of a batch sets its flag.
class Flags {
  public:
    [[gnu::always_inline]] void put(std::int64_t i, bool v) {
        bytes_[static_cast<std::size_t>(i)] = v;
    }
    [[gnu::always_inline]] void fill(std::int64_t i, std::int64_t n, bool v) {
        for (std::int64_t k = 0; k < n; ++k) put(i + k, v);
    }
    void reserve(std::int64_t n) {
        if (static_cast<std::uint64_t>(n) > size_) grow(static_cast<std::size_t>(n));
    }
    // The flags of rows 0 .. n-1 as a bitmap (bit i of byte i / 8 for row i); the number of
    // rows whose flag is false.
    std::int64_t pack(std::int64_t n, ArrowBuffer* out) const {
        if (static_cast<std::uint64_t>(n) > size_) fault_index(static_cast<std::size_t>(n), size_);
        const auto count = static_cast<std::size_t>(n);
        check(ArrowBufferReserve(out, static_cast<std::int64_t>((count + 7) / 8)));
        std::uint8_t* bits = out->data;
        const std::uint8_t* bytes = bytes_.get();
        std::size_t set = 0;
        std::size_t i = 0;
#ifdef HS_SIMD_SSE2
        // Sixteen at once: each byte's low bit moved to its top one (no bit crosses a byte, the
        // others are 0) gives the bits by movemask; the sums of absolute differences from 0
        // count them.
        const __m128i zero = _mm_setzero_si128();
        __m128i sums = zero;
        for (; i + 16 <= count; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            const auto mask = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_slli_epi64(v, 7)));
            std::memcpy(bits + i / 8, &mask, 2);  // rows i .. i+7, then i+8 .. i+15
            sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
        }
        set += static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
               static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
#endif
        // Eight bytes of 0 or 1 at once: one product gathers byte k's low bit at bit 56 + k,
        // another sums the bytes in the top one.
        for (; i + 8 <= count; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            bits[i / 8] = static_cast<std::uint8_t>((word * 0x0102040810204080ULL) >> 56);
            set += static_cast<std::size_t>((word * 0x0101010101010101ULL) >> 56);
        }
        if (i < count) {
            std::uint8_t last = 0;
            for (std::size_t k = 0; i + k < count; ++k) {
                last |= static_cast<std::uint8_t>(bytes[i + k] << k);
                set += bytes[i + k];
            }
            bits[i / 8] = last;
        }
        out->size_bytes = static_cast<std::int64_t>((count + 7) / 8);
        return n - static_cast<std::int64_t>(set);
    }

  private:
    // Grows without filling the new bytes (every row writes its own).
    [[gnu::noinline]] void grow(std::size_t n) {
        const std::size_t want = std::max(n, 2 * size_);
        std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[want]);
        if (size_ != 0) std::memcpy(bigger.get(), bytes_.get(), size_);
        bytes_ = std::move(bigger);
        size_ = want;
    }

    std::unique_ptr<std::uint8_t[]> bytes_;  // 0 or 1 for the rows written
    std::size_t size_ = 0;
};

// Offsets of a variable-length column: 32-bit, starting at 0, appended one per item.
class Offsets {
  public:
    Offsets() { buf_.push(std::int32_t{0}); }
    void push(std::int64_t end) {
        constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
        if (end > kMax) fault_index(static_cast<std::size_t>(end), kMax);
        buf_.push(static_cast<std::int32_t>(end));
    }
    void move_into(ArrowArray* a, std::int64_t i) {
        buf_.move_into(a, i);
        buf_.push(std::int32_t{0});
    }
    void reserve(std::int64_t items) { buf_.reserve(items * 4); }

  private:
    Buffer buf_;
};

// Offsets of a variable-length column with one item per row: the end of row i in slot i + 1.
class RowOffsets {
  public:
    [[gnu::always_inline]] void set(std::int64_t row, std::int64_t end) {
        constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
        if (end > kMax) [[unlikely]]
            fault_index(static_cast<std::size_t>(end), kMax);
        slots_.put(row + 1, static_cast<std::int32_t>(end));
    }
    // Rows row .. row+n-1, each `length` long, the first starting at `start`.
    [[gnu::always_inline]] void set_equal(std::int64_t row, std::int64_t n, std::int64_t start,
                                          std::int64_t length) {
        constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
        const std::int64_t last = start + n * length;  // the largest end
        if (last > kMax) [[unlikely]]
            fault_index(static_cast<std::size_t>(last), kMax);
        for (std::int64_t k = 0; k < n; ++k)
            slots_.put(row + 1 + k, static_cast<std::int32_t>(start + (k + 1) * length));
    }
    void reserve(std::int64_t rows) { slots_.reserve(rows + 1); }
    void move_into(ArrowArray* a, std::int64_t i, std::int64_t rows) {
        slots_.reserve(1);
        slots_.put(0, 0);
        slots_.move_into(a, i, rows + 1);
    }

  private:
    Slots<std::int32_t> slots_;
};

// A string array holding `names` (the values of a dictionary).
void fill_names(ArrowArray* a, const std::vector<std::string>& names) {
    Offsets offsets;
    Buffer data;
    for (const std::string& n : names) {
        data.bytes(n);
        offsets.push(data.size());
    }
    offsets.move_into(a, 1);
    data.move_into(a, 2);
    a->length = static_cast<std::int64_t>(names.size());
    a->null_count = 0;
}

// ---------------------------------------------------------------------------------------------
// Columns
// ---------------------------------------------------------------------------------------------

class Column;
// The columns of a table, and its rows in the batch being filled: every column writes the
// values of row `rows`, then the table counts the row. Every column has room for the rows
// below `room` (see Table::claim).
struct Registry {
    std::vector<Column*> columns;
    std::int64_t rows = 0;
    std::int64_t room = 0;
};

inline constexpr bool kNullable = true;
inline constexpr bool kRequired = false;

// One column of a table: its field in the schema and its values of the batch's rows.
// Nullable columns keep a validity flag per row and drop the bitmap when no row is null.
class Column {
  public:
    Column(Registry& registry, const char* name, bool nullable)
        : rows_(&registry.rows), name_(name), nullable_(nullable) {
        registry.columns.push_back(this);
    }
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    virtual ~Column() = default;

    void field(ArrowSchema* s) const {
        check(ArrowSchemaSetName(s, name_), "schema name");
        if (!nullable_) s->flags &= ~ARROW_FLAG_NULLABLE;
        type(s);
    }
    // Room for rows up to `rows` (the rows filled and more), so that a batch grows its buffers
    // once.
    void reserve(std::int64_t rows, std::int64_t more) {
        if (nullable_) valid_.reserve(rows);
        reserve_data(rows, more);
    }
    // Moves the batch's rows into `a` (made from field()) and starts a new batch.
    void move_into(ArrowArray* a) {
        const std::int64_t rows = *rows_;
        data_into(a, rows);
        std::int64_t nulls = 0;
        if (nullable_) {
            ArrowBitmap bitmap;
            ArrowBitmapInit(&bitmap);
            nulls = valid_.pack(rows, &bitmap.buffer);
            if (nulls != 0) {
                bitmap.size_bits = rows;
                ArrowArraySetValidityBitmap(a, &bitmap);
            } else {
                ArrowBitmapReset(&bitmap);
            }
        }
        a->length = rows;
        a->null_count = nulls;
    }

  protected:
    virtual void type(ArrowSchema* s) const = 0;
    virtual void data_into(ArrowArray* a, std::int64_t rows) = 0;
    virtual void reserve_data(std::int64_t rows, std::int64_t more) = 0;
    [[gnu::always_inline]] void flag(std::int64_t r, bool v) { valid_.put(r, v); }
    [[gnu::always_inline]] void flags(std::int64_t r, std::int64_t n, bool v) {
        valid_.fill(r, n, v);
    }

  private:
    const std::int64_t* rows_;
    const char* name_;
    bool nullable_;
    Flags valid_;
};

// A column that may hold nulls (kNullable) or not (kRequired): a row's validity costs a store
// in the first and nothing in the second.
template <bool kNull>
class ColumnOf : public Column {
  public:
    ColumnOf(Registry& registry, const char* name) : Column(registry, name, kNull) {}

  protected:
    [[gnu::always_inline]] void valid(std::int64_t r, bool v) {
        if constexpr (kNull) {
            flag(r, v);
        } else if (!v) [[unlikely]] {
            fault_unreachable("null in a column without nulls");
        }
    }
    // Rows r .. r+n-1 valid, or all null.
    [[gnu::always_inline]] void valid(std::int64_t r, std::int64_t n, bool v) {
        if constexpr (kNull) {
            this->flags(r, n, v);
        } else if (!v && n != 0) [[unlikely]] {
            fault_unreachable("null in a column without nulls");
        }
    }
};

template <class T, ArrowType kType, bool kNull>
class Numbers : public ColumnOf<kNull> {
  public:
    using ColumnOf<kNull>::ColumnOf;
    [[gnu::always_inline]] void push(std::int64_t r, T v) {
        data_.put(r, v);
        this->valid(r, true);
    }
    [[gnu::always_inline]] void push(std::int64_t r, std::optional<T> v) {
        data_.put(r, v.value_or(T{}));
        this->valid(r, v.has_value());
    }
    // The same value in rows r .. r+n-1.
    [[gnu::always_inline]] void fill(std::int64_t r, std::int64_t n, T v) {
        data_.fill(r, n, v);
        this->valid(r, n, true);
    }

  protected:
    void type(ArrowSchema* s) const override { check(ArrowSchemaSetType(s, kType)); }
    void data_into(ArrowArray* a, std::int64_t rows) override { data_.move_into(a, 1, rows); }
    void reserve_data(std::int64_t rows, std::int64_t) override { data_.reserve(rows); }

  private:
    Slots<T> data_;
};

template <bool kNull>
using UInt8s = Numbers<std::uint8_t, NANOARROW_TYPE_UINT8, kNull>;
template <bool kNull>
using UInt32s = Numbers<std::uint32_t, NANOARROW_TYPE_UINT32, kNull>;
template <bool kNull>
using Doubles = Numbers<double, NANOARROW_TYPE_DOUBLE, kNull>;

// Seconds, without a time zone.
template <bool kNull>
class Timestamps : public Numbers<std::int64_t, NANOARROW_TYPE_INT64, kNull> {
  public:
    using Numbers<std::int64_t, NANOARROW_TYPE_INT64, kNull>::Numbers;

  protected:
    void type(ArrowSchema* s) const override {
        check(ArrowSchemaSetTypeDateTime(s, NANOARROW_TYPE_TIMESTAMP, NANOARROW_TIME_UNIT_SECOND,
                                         nullptr));
    }
};

template <bool kNull>
class Bools : public ColumnOf<kNull> {
  public:
    using ColumnOf<kNull>::ColumnOf;
    [[gnu::always_inline]] void push(std::int64_t r, bool v) {
        data_.put(r, v);
        this->valid(r, true);
    }

  protected:
    void type(ArrowSchema* s) const override { check(ArrowSchemaSetType(s, NANOARROW_TYPE_BOOL)); }
    void data_into(ArrowArray* a, std::int64_t rows) override {
        ArrowBuffer bits;
        ArrowBufferInit(&bits);
        try {
            data_.pack(rows, &bits);
        } catch (...) {
            ArrowBufferReset(&bits);
            throw;
        }
        check(ArrowArraySetBuffer(a, 1, &bits));
    }
    void reserve_data(std::int64_t rows, std::int64_t) override { data_.reserve(rows); }

  private:
    Flags data_;
};

template <bool kNull>
class Strings : public ColumnOf<kNull> {
  public:
    using ColumnOf<kNull>::ColumnOf;
    [[gnu::always_inline]] void push(std::int64_t r, std::string_view v) {
        data_.bytes(v);
        offsets_.set(r, data_.size());
        this->valid(r, true);
    }
    [[gnu::always_inline]] void push_null(std::int64_t r) {
        static_assert(kNull, "a null in a column without nulls");
        offsets_.set(r, data_.size());
        this->valid(r, false);
    }
    // The same string in rows r .. r+n-1.
    void fill(std::int64_t r, std::int64_t n, std::string_view v) {
        const std::int64_t start = data_.size();
        const auto length = static_cast<std::int64_t>(v.size());
        std::uint8_t* out = data_.extend(v.size() * static_cast<std::size_t>(n));
        for (std::int64_t k = 0; k < n; ++k) copy_bytes(out + k * length, v.data(), v.size());
        offsets_.set_equal(r, n, start, length);
        this->valid(r, n, true);
    }

  protected:
    void type(ArrowSchema* s) const override {
        check(ArrowSchemaSetType(s, NANOARROW_TYPE_STRING));
    }
    void data_into(ArrowArray* a, std::int64_t rows) override {
        offsets_.move_into(a, 1, rows);
        data_.move_into(a, 2);
    }
    void reserve_data(std::int64_t rows, std::int64_t more) override {
        offsets_.reserve(rows);
        data_.reserve(more * 16);  // ids and names are short
    }

  private:
    RowOffsets offsets_;
    Buffer data_;
};

void dictionary_type(ArrowSchema* s, ArrowType index_type) {
    check(ArrowSchemaSetType(s, index_type));
    check(ArrowSchemaAllocateDictionary(s));
    check(ArrowSchemaInitFromType(s->dictionary, NANOARROW_TYPE_STRING));
}

// Dictionary-encoded strings: an index per row into the batch's values.
template <class Index, ArrowType kIndexType, bool kNull>
class Dictionary : public ColumnOf<kNull> {
  public:
    Dictionary(Registry& r, const char* name, std::vector<std::string> values = {})
        : ColumnOf<kNull>(r, name), values_(std::move(values)), count_(values_.size()) {}
    [[gnu::always_inline]] void push(std::int64_t r, std::size_t index) {
        if (index >= count_) [[unlikely]]
            fault_index(index, count_);
        data_.put(r, static_cast<Index>(index));
        this->valid(r, true);
    }
    [[gnu::always_inline]] void push_null(std::int64_t r) {
        static_assert(kNull, "a null in a column without nulls");
        data_.put(r, Index{0});
        this->valid(r, false);
    }
    // The same index in rows r .. r+n-1, or nulls for none.
    [[gnu::always_inline]] void fill(std::int64_t r, std::int64_t n,
                                     std::optional<std::size_t> index) {
        if (index >= count_) [[unlikely]]  // nullopt compares below every index
            fault_index(*index, count_);
        data_.fill(r, n, static_cast<Index>(index.value_or(0)));
        this->valid(r, n, index.has_value());
    }

  protected:
    void type(ArrowSchema* s) const override { dictionary_type(s, kIndexType); }
    void data_into(ArrowArray* a, std::int64_t rows) override {
        data_.move_into(a, 1, rows);
        fill_names(a->dictionary, values_);
    }
    void reserve_data(std::int64_t rows, std::int64_t) override { data_.reserve(rows); }
    // A value added to the dictionary (Labels).
    void add_value(std::string_view v) {
        values_.emplace_back(v);
        count_ = values_.size();
    }
    void clear_values() noexcept {
        values_.clear();
        count_ = 0;
    }

    std::vector<std::string> values_;

  private:
    std::size_t count_;  // values_.size(), the bound of an index
    Slots<Index> data_;
};

// A fixed list of names: the index is the enumeration's code.
template <bool kNull>
using Names = Dictionary<std::int8_t, NANOARROW_TYPE_INT8, kNull>;

// Values collected per batch (the source paths); nullable.
class Labels : public Dictionary<std::int32_t, NANOARROW_TYPE_INT32, kNullable> {
  public:
    using Dictionary::Dictionary;
    // The index of a value in this batch's dictionary, added when new. The hands of a file come
    // one after another: the last value is the usual answer.
    std::size_t index_of(std::string_view v) {
        if (last_ < values_.size() && values_[last_] == v) return last_;
        const auto [it, added] = index_.try_emplace(std::string(v), values_.size());
        if (added) add_value(v);
        last_ = it->second;
        return last_;
    }

  protected:
    void data_into(ArrowArray* a, std::int64_t rows) override {
        Dictionary::data_into(a, rows);
        clear_values();
        index_.clear();
    }

  private:
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t last_ = 0;
};

// The 52 cards as "As".."Kd", dictionary index suit * 13 + rank - 1.
std::vector<std::string> card_names() {
    std::vector<std::string> names;
    names.reserve(52);
    for (unsigned suit = 0; suit < 4; ++suit) {
        for (unsigned rank = 1; rank <= 13; ++rank) {
            const Card c = static_cast<Card>(rank | suit << 6);
            names.push_back({card_rank_char(c), card_suit_letter(c)});
        }
    }
    return names;
}

std::int8_t card_index(Card c) {
    const unsigned rank = c & 0x3F;
    if (rank < 1 || rank > 13) fault_index(rank, 14);
    return static_cast<std::int8_t>((c >> 6) * 13 + rank - 1);
}

void card_list_type(ArrowSchema* s) {
    check(ArrowSchemaSetType(s, NANOARROW_TYPE_LIST));
    dictionary_type(s->children[0], NANOARROW_TYPE_INT8);
}

// The cards of a set, appended to a list's child.
class CardValues {
  public:
    void push(const CardSet& set) {
        if (set.count > std::size(set.cards)) fault_index(set.count, std::size(set.cards));
        for (std::size_t i = 0; i < set.count; ++i) data_.push(card_index(set.cards[i]));
        count_ += set.count;
    }
    std::int64_t count() const noexcept { return count_; }
    void move_into(ArrowArray* child) {
        data_.move_into(child, 1);
        fill_names(child->dictionary, names_);
        child->length = count_;
        child->null_count = 0;
        count_ = 0;
    }

  private:
    std::vector<std::string> names_ = card_names();
    Buffer data_;
    std::int64_t count_ = 0;
};

// A list of cards per row; null for no cards.
template <bool kNull>
class CardLists : public ColumnOf<kNull> {
  public:
    using ColumnOf<kNull>::ColumnOf;
    void push(std::int64_t r, const CardSet& set) {
        if (set.count != 0) cards_.push(set);
        offsets_.set(r, cards_.count());
        this->valid(r, set.count != 0);
    }

  protected:
    void type(ArrowSchema* s) const override { card_list_type(s); }
    void data_into(ArrowArray* a, std::int64_t rows) override {
        offsets_.move_into(a, 1, rows);
        cards_.move_into(a->children[0]);
    }
    void reserve_data(std::int64_t rows, std::int64_t) override { offsets_.reserve(rows); }

  private:
    RowOffsets offsets_;
    CardValues cards_;
};

// A list of boards per row, each board a list of cards.
template <bool kNull>
class Boards : public ColumnOf<kNull> {
  public:
    using ColumnOf<kNull>::ColumnOf;
    void push_board(const CardSet& flop, const CardSet& turn, const CardSet& river) {
        for (const CardSet* street : {&flop, &turn, &river}) cards_.push(*street);
        board_offsets_.push(cards_.count());
        ++boards_;
    }
    void end_row(std::int64_t r) {
        offsets_.set(r, boards_);
        this->valid(r, true);
    }

  protected:
    void type(ArrowSchema* s) const override {
        check(ArrowSchemaSetType(s, NANOARROW_TYPE_LIST));
        card_list_type(s->children[0]);
    }
    void data_into(ArrowArray* a, std::int64_t rows) override {
        offsets_.move_into(a, 1, rows);
        ArrowArray* boards = a->children[0];
        board_offsets_.move_into(boards, 1);
        cards_.move_into(boards->children[0]);
        boards->length = boards_;
        boards->null_count = 0;
        boards_ = 0;
    }
    void reserve_data(std::int64_t rows, std::int64_t) override { offsets_.reserve(rows); }

  private:
    RowOffsets offsets_;
    Offsets board_offsets_;
    CardValues cards_;
    std::int64_t boards_ = 0;
};
// ---------------------------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------------------------

// The member names of an enumeration, in code order (the dictionary of its column).
template <std::size_t N>
std::vector<std::string> names_of(const std::array<std::string_view, N>& table) {
    return std::vector<std::string>(table.begin(), table.end());
}

std::vector<std::string> site_names() { return names_of(kSiteNames); }
std::vector<std::string> game_names() { return names_of(kGameTypeNames); }
std::vector<std::string> limit_names() { return names_of(kBetTypeNames); }
std::vector<std::string> action_names() { return names_of(kActionTypeNames); }
std::vector<std::string> buy_in_kind_names() { return names_of(kBuyInKindNames); }
// The mixed rotations without MixedGame::None (a null): the index is the code less one.
std::vector<std::string> mixed_names() {
    return std::vector<std::string>(kMixedGameNames.begin() + 1, kMixedGameNames.end());
}
// The named halves of a split pot without PotHalf::Unspecified (a null): the code less one.
std::vector<std::string> half_names() {
    return std::vector<std::string>(kPotHalfNames.begin() + 1, kPotHalfNames.end());
}

// Where an action stands in its hand (see Round; the games without a board name their rounds
// "third"... "seventh" and "deal", "first_draw"...: see round_name), and the positions of the
// players table.
std::vector<std::string> street_names() { return names_of(kAllRoundNames); }
std::vector<std::string> position_names() { return names_of(facts::kPositionNames); }

// The columns of one table in schema order, and the record batch they make.
class Table {
  public:
    Table() = default;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    void schema(ArrowSchema* out) const {
        const std::vector<Column*>& columns = columns_.columns;
        ArrowSchemaInit(out);
        check(ArrowSchemaSetTypeStruct(out, static_cast<std::int64_t>(columns.size())));
        for (std::size_t i = 0; i < columns.size(); ++i) columns[i]->field(out->children[i]);
    }
    void finish(std::vector<OwnedArray>& batches) {
        const std::vector<Column*>& columns = columns_.columns;
        OwnedSchema s;
        schema(&s.raw);
        OwnedArray batch;
        ArrowError error{};
        check(ArrowArrayInitFromSchema(&batch.raw, &s.raw, &error), error.message);
        for (std::size_t i = 0; i < columns.size(); ++i)
            columns[i]->move_into(batch.raw.children[i]);
        batch.raw.length = columns_.rows;
        batch.raw.null_count = 0;
        check(ArrowArrayFinishBuildingDefault(&batch.raw, &error), error.message);
        batches.push_back(std::move(batch));
        columns_.rows = 0;
        columns_.room = 0;  // the buffers went with the batch
    }

    // Room in every column for `more` rows after those filled.
    void reserve(std::int64_t more) {
        const std::int64_t rows = columns_.rows + more;
        for (Column* c : columns_.columns) c->reserve(rows, more);
        columns_.room = std::max(columns_.room, rows);
    }

  protected:
    // Each table's add claims room for the rows it writes (the columns write without a capacity
    // test), writes a row's every column, then counts it (++rows_).
    [[gnu::always_inline]] void claim(std::int64_t rows) {
        if (rows > columns_.room - columns_.rows) [[unlikely]]
            reserve(std::max(rows, columns_.rows));
    }
    Registry columns_;
    std::int64_t& rows_ = columns_.rows;
};

// The columns every table starts with: the hand they belong to.
struct HandKey {
    explicit HandKey(Registry& r)
        : site(r, "site", site_names()), hand_id(r, "hand_id") {}
    [[gnu::always_inline]] void push(std::int64_t r, Site s, std::string_view id) {
        site.push(r, static_cast<std::size_t>(s));
        hand_id.push(r, id);
    }
    // Rows r .. r+n-1 of one hand.
    void fill(std::int64_t r, std::int64_t n, Site s, std::string_view id) {
        site.fill(r, n, static_cast<std::size_t>(s));
        hand_id.fill(r, n, id);
    }
    Names<kRequired> site;
    Strings<kRequired> hand_id;
};

// The time the hand started in UTC where the history names its zone, as written where it does
// not (see utc_start).
std::optional<std::int64_t> start_time(const Header& h) { return date_seconds(h.start_utc); }

// The button's seat as the text names it (a seat nobody sits in included); none when it names
// none.
std::optional<std::uint8_t> button_seat_of(const Header& h) {
    if (h.button_seat == kNone8) return std::nullopt;
    return h.button_seat;
}

// The hand's flops, turns, rivers, showdowns and stud's seventh streets: each list of the store
// with the hand's span.
using StreetLists = std::array<std::pair<const std::vector<Street>*, Span>, 5>;
StreetLists street_lists(const HandStore& store, const Hand& h) {
    return {{{&store.flops, h.flops},
             {&store.turns, h.turns},
             {&store.rivers, h.rivers},
             {&store.showdowns, h.showdowns},
             {&store.sevenths, h.sevenths}}};
}

std::optional<std::uint8_t> seat_of(const Player& p) {
    return p.seat == kNone8 ? std::nullopt : std::optional<std::uint8_t>(p.seat);
}

struct HandsTable : Table {
    HandKey key{columns_};
    Timestamps<kNullable> started_at{columns_, "started_at"};
    Strings<kRequired> table{columns_, "table"};
    Names<kRequired> game{columns_, "game", game_names()};
    Names<kNullable> mixed{columns_, "mixed", mixed_names()};  // the rotation, null for one game
    Names<kRequired> limit{columns_, "limit", limit_names()};
    Labels currency{columns_, "currency"};
    UInt8s<kRequired> max_players{columns_, "max_players"};
    UInt8s<kNullable> button_seat{columns_, "button_seat"};
    Doubles<kRequired> small_blind{columns_, "small_blind"};
    Doubles<kRequired> big_blind{columns_, "big_blind"};
    Doubles<kRequired> ante{columns_, "ante"};
    Strings<kNullable> hero{columns_, "hero"};
    // The hand facts: the pot with the rake, the rake and the jackpot fees apart, and the pot
    // when each round began (null for a round not dealt).
    Doubles<kRequired> total_pot{columns_, "total_pot"};
    Doubles<kRequired> rake{columns_, "rake"};
    Doubles<kRequired> jackpot{columns_, "jackpot"};
    Doubles<kRequired> pot_preflop{columns_, "pot_preflop"};
    Doubles<kNullable> pot_flop{columns_, "pot_flop"};
    Doubles<kNullable> pot_turn{columns_, "pot_turn"};
    Doubles<kNullable> pot_river{columns_, "pot_river"};
    Boards<kRequired> boards{columns_, "boards"};
    // The tournament of a tournament hand; null for a cash hand.
    Strings<kNullable> tournament{columns_, "tournament"};
    Names<kNullable> buy_in_kind{columns_, "buy_in_kind", buy_in_kind_names()};
    Labels buy_in_currency{columns_, "buy_in_currency"};
    Doubles<kNullable> buy_in{columns_, "buy_in"};
    Doubles<kNullable> fee{columns_, "fee"};
    Doubles<kNullable> bounty_fee{columns_, "bounty_fee"};
    Strings<kNullable> level{columns_, "level"};
    // "" where the history has none
    Strings<kNullable> tournament_name{columns_, "tournament_name"};
    Labels source{columns_, "source"};

    // `source` is an index from source.index_of, or none.
    // `id` is the text of the hand's id.
    void add(const HandStore& store, const Hand& hand, std::string_view id,
             const facts::HandFactsRef& facts, std::optional<std::size_t> source);
};

struct PlayersTable : Table {
    HandKey key{columns_};
    UInt8s<kRequired> player{columns_, "player"};
    Strings<kRequired> name{columns_, "name"};
    UInt8s<kNullable> seat{columns_, "seat"};
    Doubles<kRequired> stack{columns_, "stack"};
    Bools<kRequired> is_hero{columns_, "is_hero"};
    CardLists<kNullable> hole_cards{columns_, "hole_cards"};
    Names<kNullable> position{columns_, "position", position_names()};
    Doubles<kRequired> invested{columns_, "invested"};
    Doubles<kRequired> won{columns_, "won"};
    Doubles<kRequired> net{columns_, "net"};
    Doubles<kNullable> cash_out{columns_, "cash_out"};
    Bools<kRequired> vpip{columns_, "vpip"};
    Bools<kRequired> pfr{columns_, "pfr"};
    Bools<kRequired> three_bet{columns_, "three_bet"};
    Bools<kRequired> saw_flop{columns_, "saw_flop"};
    Bools<kRequired> saw_showdown{columns_, "saw_showdown"};
    Bools<kRequired> won_at_showdown{columns_, "won_at_showdown"};
    Names<kNullable> all_in_street{columns_, "all_in_street", street_names()};
    Labels source{columns_, "source"};

    // `id` is the text of the hand's id.
    void add(const HandStore& store, const Hand& hand, std::string_view id,
             const facts::HandFactsRef& facts, std::optional<std::size_t> source);

  private:
    std::vector<CardSet> cards_;  // per player of the hand being added (reused)
};

struct ActionsTable : Table {
    HandKey key{columns_};
    UInt32s<kRequired> seq{columns_, "seq"};
    Names<kRequired> street{columns_, "street", street_names()};
    UInt8s<kRequired> board{columns_, "board"};
    UInt8s<kNullable> player{columns_, "player"};
    Names<kRequired> action{columns_, "action", action_names()};
    Doubles<kNullable> amount{columns_, "amount"};
    Doubles<kNullable> chips{columns_, "chips"};
    Doubles<kNullable> to{columns_, "to"};
    Bools<kRequired> all_in{columns_, "all_in"};
    CardLists<kNullable> cards{columns_, "cards"};
    Labels source{columns_, "source"};
    // The half of a split pot that a collection wins ("high", "low"); null where the history
    // names none, and for every other action.
    Names<kNullable> half{columns_, "half", half_names()};

    // `id` is the text of the hand's id.
    void add(const HandStore& store, const Hand& hand, std::string_view id,
             const facts::HandFactsRef& facts, std::optional<std::size_t> source);

  private:
    // The hand being added.
    struct Context {
        const HandStore& store;
        const facts::HandFactsRef& facts;
        Site site;
        std::string_view id;
        std::size_t players;
        std::optional<std::size_t> source;
        GameType game;
    };
    void add_run(const Context& hand, Round round, std::size_t board, Span actions,
                 std::uint32_t& seq);
};

// Board k of a hand: the k-th flop, turn and river, or the last one dealt of a street that was
// dealt fewer times (a hand run twice from the turn shares its flop).
const CardSet& board_street(std::span<const Street> streets, std::size_t k) {
    static const CardSet kNone{};
    if (streets.empty()) return kNone;
    return streets[std::min(k, streets.size() - 1)].cards;
}

// An ISO 4217 code (see iso_currency); null for none (play money, a tournament without a sign).
void push_code(Labels& column, std::int64_t r, std::string_view code) {
    if (code.empty()) {
        column.push_null(r);
    } else {
        column.push(r, column.index_of(code));
    }
}

// The payload of each action type, read from a table (payload_kind is a call per action).
const std::array<PayloadKind, 256> kPayloadKinds = [] {
    std::array<PayloadKind, 256> kinds{};
    kinds.fill(PayloadKind::None);
    for (std::size_t t = 0; t < kActionTypeCount; ++t)
        kinds[t] = payload_kind(static_cast<ActionType>(t));
    return kinds;
}();

inline PayloadKind kind_of(ActionType t) noexcept {
    return kPayloadKinds[static_cast<std::uint8_t>(t)];
}

// store.cards_of, the payload of no cards (a line that names none) told without a call.
[[gnu::always_inline]] inline CardSet cards_or_empty(const HandStore& store,
                                                     std::uint32_t payload) {
    return payload == kNoCards ? CardSet{} : store.cards_of(payload);
}

// shows_holding of each action type, read from a table: most actions show no cards.
const std::array<bool, 256> kShowsHolding = [] {
    std::array<bool, 256> shows{};
    for (std::size_t t = 0; t < kActionTypeCount; ++t)
        shows[t] = shows_holding(static_cast<ActionType>(t));
    return shows;
}();

// amount_value, its usual case (whole cents) inline.
[[gnu::always_inline]] inline double value_of(float v) {
    if (const auto cents = whole_cents(v)) [[likely]]
        return std::copysign(static_cast<double>(*cents) / 100.0, static_cast<double>(v));
    return amount_value(v);
}

// An amount of the facts, or null.
std::optional<double> money_or_null(bool has, Money m) {
    return has ? std::optional<double>(money_value(m)) : std::nullopt;
}

inline void push_source(Labels& column, std::int64_t r, std::optional<std::size_t> index) {
    if (index) {
        column.push(r, *index);
    } else {
        column.push_null(r);
    }
}

void HandsTable::add(const HandStore& store, const Hand& hand, std::string_view id,
                       const facts::HandFactsRef& facts,
                     std::optional<std::size_t> source_index) {
    const Header& h = hand.header;
    const facts::HandFacts& f = *facts.hand;
    const auto players = store.resolve(store.players, h.players);
    claim(1);
    const std::int64_t r = rows_;
    key.push(r, h.site, id);
    started_at.push(r, start_time(h));
    table.push(r, store.text_of(h.table_name));
    game.push(r, static_cast<std::size_t>(h.game_type));
    if (h.mixed == MixedGame::None)
        mixed.push_null(r);
    else
        mixed.push(r, static_cast<std::size_t>(h.mixed) - 1);
    limit.push(r, static_cast<std::size_t>(h.bet_type));
    push_code(currency, r, iso_currency(h));
    max_players.push(r, h.max_players);
    button_seat.push(r, button_seat_of(h));
    small_blind.push(r, value_of(h.small_blind));
    big_blind.push(r, value_of(h.big_blind));
    ante.push(r, value_of(h.ante));
    if (h.hero < players.size()) {
        hero.push(r, store.text_of(players[h.hero].name));
    } else {
        hero.push_null(r);
    }
    total_pot.push(r, money_value(f.total_pot));
    rake.push(r, money_value(f.rake));
    jackpot.push(r, money_value(f.jackpot));
    pot_preflop.push(r, money_value(f.pot_at[0]));
    pot_flop.push(r, money_or_null(f.has_pot[1], f.pot_at[1]));
    pot_turn.push(r, money_or_null(f.has_pot[2], f.pot_at[2]));
    pot_river.push(r, money_or_null(f.has_pot[3], f.pot_at[3]));
    const auto flops = store.resolve(store.flops, hand.flops);
    const auto turns = store.resolve(store.turns, hand.turns);
    const auto rivers = store.resolve(store.rivers, hand.rivers);
    const std::size_t count = std::max({flops.size(), turns.size(), rivers.size()});
    for (std::size_t k = 0; k < count; ++k)
        boards.push_board(board_street(flops, k), board_street(turns, k), board_street(rivers, k));
    boards.end_row(r);
    if (h.is_tournament()) {
        const Tournament& t = at(store.tournaments, h.tournament);
        tournament.push(r, store.text_of(t.id));
        buy_in_kind.push(r, static_cast<std::size_t>(t.buy_in_kind));
        push_code(buy_in_currency, r, iso_currency(t));
        buy_in.push(r, value_of(t.buy_in));
        fee.push(r, value_of(t.fee));
        bounty_fee.push(r, value_of(t.bounty_fee));
        level.push(r, store.text_of(t.level));
        tournament_name.push(r, store.text_of(t.name));
    } else {
        tournament.push_null(r);
        buy_in_kind.push_null(r);
        buy_in_currency.push_null(r);
        buy_in.push(r, std::nullopt);
        fee.push(r, std::nullopt);
        bounty_fee.push(r, std::nullopt);
        level.push_null(r);
        tournament_name.push_null(r);
    }
    push_source(source, r, source_index);
    ++rows_;
}

void PlayersTable::add(const HandStore& store, const Hand& hand, std::string_view id,
                       const facts::HandFactsRef& facts,
                       std::optional<std::size_t> source_index) {
    const Header& h = hand.header;
    const auto players = store.resolve(store.players, h.players);
    const auto player_facts = facts.players;
    const std::size_t n = players.size();
    if (player_facts.size() != n) fault_index(player_facts.size(), n);
    cards_.assign(n, CardSet::empty());
    // Cards: the first set that an action of the player shows (dealt, shown, mucked, folded),
    // the summary's included.
    auto scan = [&](Span s) {
        for (const Action& a : store.resolve(store.actions, s)) {
            // the player's own hand: no stud up card, no discard (see shows_holding)
            if (!kShowsHolding[static_cast<std::uint8_t>(a.type())]) continue;
            const std::size_t p = a.player_id();
            if (p < n && cards_[p].count == 0) cards_[p] = cards_or_empty(store, a.payload());
        }
    };
    scan(h.actions);
    scan(hand.preflop.actions);
    for (const auto& [list, span] : street_lists(store, hand))
        for (const Street& st : store.resolve(*list, span)) scan(st.actions);
    scan(hand.summary.actions);

    const auto rows = static_cast<std::int64_t>(n);
    claim(rows);
    // The columns whose value is the hand's, then the others row by row.
    const std::int64_t first = rows_;
    key.fill(first, rows, h.site, id);
    source.fill(first, rows, source_index);
    for (std::size_t i = 0; i < n; ++i) {
        const Player& p = players[i];
        const facts::PlayerFacts& f = player_facts[i];
        const std::int64_t r = first + static_cast<std::int64_t>(i);
        player.push(r, static_cast<std::uint8_t>(i));
        name.push(r, store.text_of(p.name));
        seat.push(r, seat_of(p));
        stack.push(r, value_of(p.chips));
        is_hero.push(r, i == h.hero);
        hole_cards.push(r, cards_[i]);
        if (f.position == kNone8) {
            position.push_null(r);
        } else {
            position.push(r, f.position);
        }
        invested.push(r, money_value(f.invested));
        won.push(r, money_value(f.won));
        net.push(r, money_value(f.net));
        cash_out.push(r, money_or_null(f.cashed_out, f.cash_out));
        vpip.push(r, f.vpip);
        pfr.push(r, f.pfr);
        three_bet.push(r, f.three_bet);
        saw_flop.push(r, f.saw_flop);
        saw_showdown.push(r, f.saw_showdown);
        won_at_showdown.push(r, f.won_at_showdown);
        if (f.all_in_round == facts::kNoRound) {
            all_in_street.push_null(r);
        } else {
            all_in_street.push(r,
                               round_name_index(h.game_type, static_cast<Round>(f.all_in_round)));
        }
    }
    rows_ += rows;
}

void ActionsTable::add(const HandStore& store, const Hand& hand, std::string_view id,
                       const facts::HandFactsRef& facts,
                       std::optional<std::size_t> source_index) {
    const Header& h = hand.header;
    const Context context{store,        facts,      h.site, id, h.players.count(),
                          source_index, h.game_type};
    std::uint32_t seq = 0;
    add_run(context, Round::Predeal, 0, h.actions, seq);
    add_run(context, Round::Preflop, 0, hand.preflop.actions, seq);
    // The summary's lines repeat what the rounds said: they are the players table's.
    each_street(store, hand, [&](Round round, std::size_t board, const Street& st) {
        add_run(context, round, board, st.actions, seq);
    });
}

void ActionsTable::add_run(const Context& hand, Round round, std::size_t board_index, Span actions,
                           std::uint32_t& seq) {
    const HandStore& store = hand.store;
    const std::size_t players = hand.players;
    if (board_index > kNone8) fault_index(board_index, kNone8);
    const auto list = store.resolve(store.actions, actions);
    const auto action_facts = hand.facts.of(actions);  // as many, checked once for the run
    const std::size_t street_name = round_name_index(hand.game, round);
    const auto rows = static_cast<std::int64_t>(list.size());
    claim(rows);
    // The columns whose value is the run's, then the others row by row.
    const std::int64_t first = rows_;
    key.fill(first, rows, hand.site, hand.id);
    street.fill(first, rows, street_name);
    board.fill(first, rows, static_cast<std::uint8_t>(board_index));
    source.fill(first, rows, hand.source);
    for (std::size_t k = 0; k < list.size(); ++k) {
        const Action a = list[k];
        const ActionType type = a.type();
        const facts::ActionFacts& f = action_facts[k];
        const std::int64_t r = first + static_cast<std::int64_t>(k);
        this->seq.push(r, seq++);
        player.push(
            r, a.player_id() < players ? std::optional<std::uint8_t>(a.player_id()) : std::nullopt);
        action.push(r, static_cast<std::size_t>(type));
        const PayloadKind kind = kind_of(type);
        if (kind == PayloadKind::Amount) {
            amount.push(r, value_of(a.amount()));
        } else if (kind == PayloadKind::Cards || kind == PayloadKind::None) {
            amount.push(r, std::optional<double>());
        } else if (const auto value = store.amount_of(a)) {
            amount.push(r, value_of(*value));
        } else {
            amount.push(r, std::optional<double>());
        }
        chips.push(r, money_or_null(f.has_chips, f.chips));
        to.push(r, money_or_null(f.has_to, f.to));
        all_in.push(r, f.all_in);
        cards.push(r, kind == PayloadKind::Cards ? cards_or_empty(store, a.payload()) : CardSet{});
        if (const PotHalf h = a.half(); h != PotHalf::Unspecified) {
            half.push(r, static_cast<std::size_t>(h) - 1);
        } else {
            half.push_null(r);
        }
    }
    rows_ += rows;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Owned structures
// ---------------------------------------------------------------------------------------------

OwnedArray::OwnedArray(OwnedArray&& other) noexcept : raw(other.raw) {
    other.raw.release = nullptr;
}
OwnedArray& OwnedArray::operator=(OwnedArray&& other) noexcept {
    if (this != &other) {
        if (raw.release != nullptr) raw.release(&raw);
        raw = other.raw;
        other.raw.release = nullptr;
    }
    return *this;
}
OwnedArray::~OwnedArray() {
    if (raw.release != nullptr) raw.release(&raw);
}
OwnedSchema::~OwnedSchema() {
    if (raw.release != nullptr) raw.release(&raw);
}

std::int64_t TableBatches::rows() const noexcept {
    std::int64_t n = 0;
    for (const OwnedArray& b : batches) n += b.raw.length;
    return n;
}

void table_schema(TableId table, ArrowSchema* out) {
    switch (table) {
        case TableId::Hands: HandsTable().schema(out); return;
        case TableId::Players: PlayersTable().schema(out); return;
        case TableId::Actions: ActionsTable().schema(out); return;
    }
    fault_index(static_cast<std::size_t>(table), kTableCount);
}

// ---------------------------------------------------------------------------------------------
// Builder
// ---------------------------------------------------------------------------------------------

struct TablesBuilder::Impl {
    HandsTable hands;
    PlayersTable players;
    ActionsTable actions;
    facts::Replay replay;
    facts::FactsGroup facts;
    static constexpr std::size_t kGroupHands = 256;
    std::array<std::string_view, kGroupHands> ids;  // of the group's hands
    std::array<facts::HandFactsRef, kGroupHands> refs;  // their facts (the group's, checked)
    std::size_t batch_hands;
    std::size_t pending = 0;  // hands since the last batch
    std::array<TableBatches, kTableCount> done;

    // Room for the rows of `list`: the buffers of a batch grow once.
    void reserve(const HandStore& store, std::span<const Hand> list) {
        std::int64_t player_rows = 0;
        std::int64_t action_rows = 0;
        for (const Hand& h : list) {
            player_rows += static_cast<std::int64_t>(h.header.players.count());
            action_rows +=
                static_cast<std::int64_t>(h.header.actions.count() + h.preflop.actions.count());
            for (const auto& [streets, span] : street_lists(store, h))
                for (const Street& st : store.resolve(*streets, span))
                    action_rows += static_cast<std::int64_t>(st.actions.count());
        }
        hands.reserve(static_cast<std::int64_t>(list.size()));
        players.reserve(player_rows);
        actions.reserve(action_rows);
    }

    void finish_batch() {
        hands.finish(done[0].batches);
        players.finish(done[1].batches);
        actions.finish(done[2].batches);
        pending = 0;
    }
};

TablesBuilder::TablesBuilder(std::size_t batch_hands) : impl_(std::make_unique<Impl>()) {
    impl_->batch_hands = std::max<std::size_t>(1, batch_hands);
    for (std::size_t t = 0; t < kTableCount; ++t) impl_->done[t].table = static_cast<TableId>(t);
}

TablesBuilder::~TablesBuilder() = default;

void TablesBuilder::add(const HandStore& store, Span hands, std::string_view source) {
    Impl& b = *impl_;
    const std::span<const Hand> list = store.resolve(store.hands, hands);
    for (std::size_t from = 0; from < list.size();) {
        const std::span<const Hand> chunk =
            list.subspan(from, std::min(list.size() - from, b.batch_hands - b.pending));
        b.reserve(store, chunk);
        // The source is looked up per chunk: the next batch has its own dictionaries.
        std::optional<std::size_t> hands_source, players_source, actions_source;
        if (!source.empty()) {
            hands_source = b.hands.source.index_of(source);
            players_source = b.players.source.index_of(source);
            actions_source = b.actions.source.index_of(source);
        }
        // A group of hands at a time, replayed first, then written table by table: each table's
        // columns are written together, not the three tables' at once.
        for (std::size_t g = 0; g < chunk.size(); g += Impl::kGroupHands) {
            const auto group = chunk.subspan(g, std::min(Impl::kGroupHands, chunk.size() - g));
            b.facts.clear();
            for (std::size_t i = 0; i < group.size(); ++i) {
                b.facts.add(b.replay, store, group[i]);
                b.ids[i] = store.text_of(group[i].header.id);  // checked once for the 3 tables
            }
            for (std::size_t i = 0; i < group.size(); ++i) b.refs[i] = b.facts[i];
            for (std::size_t i = 0; i < group.size(); ++i)
                b.hands.add(store, group[i], b.ids[i], b.refs[i], hands_source);
            for (std::size_t i = 0; i < group.size(); ++i)
                b.players.add(store, group[i], b.ids[i], b.refs[i], players_source);
            for (std::size_t i = 0; i < group.size(); ++i)
                b.actions.add(store, group[i], b.ids[i], b.refs[i], actions_source);
        }
        from += chunk.size();
        b.pending += chunk.size();
        if (b.pending == b.batch_hands) b.finish_batch();
    }
}

std::array<TableBatches, kTableCount> TablesBuilder::finish() {
    if (impl_->pending != 0) impl_->finish_batch();
    std::array<TableBatches, kTableCount> out = std::move(impl_->done);
    for (std::size_t t = 0; t < kTableCount; ++t) {
        impl_->done[t].batches.clear();
        impl_->done[t].table = static_cast<TableId>(t);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------------------------

namespace {

// An array that mirrors one of the kept batches (same buffers) and holds the batches alive
// until it and every child taken from it are released.
struct Shared {
    std::shared_ptr<const TableBatches> owner;
    std::vector<ArrowArray> children;
    std::vector<ArrowArray*> child_pointers;
    ArrowArray dictionary{};
};

void release_shared(ArrowArray* a) {
    auto* node = static_cast<Shared*>(a->private_data);
    for (ArrowArray& c : node->children)
        if (c.release != nullptr) c.release(&c);
    if (node->dictionary.release != nullptr) node->dictionary.release(&node->dictionary);
    delete node;
    a->release = nullptr;
}

void share(const ArrowArray& src, const std::shared_ptr<const TableBatches>& owner,
           ArrowArray* out) {
    auto node = std::make_unique<Shared>();
    node->owner = owner;
    node->children.resize(static_cast<std::size_t>(src.n_children));
    node->child_pointers.resize(node->children.size());
    try {
        for (std::size_t i = 0; i < node->children.size(); ++i) {
            share(*src.children[i], owner, &node->children[i]);
            node->child_pointers[i] = &node->children[i];
        }
        if (src.dictionary != nullptr) share(*src.dictionary, owner, &node->dictionary);
    } catch (...) {
        ArrowArray partial{};
        partial.private_data = node.release();
        release_shared(&partial);  // the children made so far
        throw;
    }
    *out = src;  // length, offset, null count, buffers: the kept arrays' own
    out->children = node->child_pointers.empty() ? nullptr : node->child_pointers.data();
    out->dictionary = src.dictionary != nullptr ? &node->dictionary : nullptr;
    out->release = &release_shared;
    out->private_data = node.release();
}

struct Stream {
    std::shared_ptr<const TableBatches> data;
    std::size_t next = 0;
    std::string error;
};

Stream* stream_of(ArrowArrayStream* s) { return static_cast<Stream*>(s->private_data); }

// No exception may leave a callback: a failure is an error code and a message.
template <class F>
int guarded_call(ArrowArrayStream* s, F&& f) noexcept {
    try {
        f();
        return NANOARROW_OK;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (const std::exception& e) {
        try {
            stream_of(s)->error = e.what();
        } catch (...) {
        }
        return EIO;
    }
}

int stream_schema(ArrowArrayStream* s, ArrowSchema* out) {
    return guarded_call(s, [&] { table_schema(stream_of(s)->data->table, out); });
}

int stream_next(ArrowArrayStream* s, ArrowArray* out) {
    return guarded_call(s, [&] {
        Stream& st = *stream_of(s);
        if (st.next >= st.data->batches.size()) {
            out->release = nullptr;  // the end of the stream
            return;
        }
        share(st.data->batches[st.next].raw, st.data, out);
        ++st.next;
    });
}

const char* stream_error(ArrowArrayStream* s) {
    const std::string& e = stream_of(s)->error;
    return e.empty() ? nullptr : e.c_str();
}

void stream_release(ArrowArrayStream* s) {
    delete stream_of(s);
    s->release = nullptr;
}

}  // namespace

void export_stream(std::shared_ptr<const TableBatches> data, ArrowArrayStream* out) {
    auto stream = std::make_unique<Stream>();
    stream->data = std::move(data);
    out->get_schema = &stream_schema;
    out->get_next = &stream_next;
    out->get_last_error = &stream_error;
    out->release = &stream_release;
    out->private_data = stream.release();
}

// ---------------------------------------------------------------------------------------------
// Amounts
// ---------------------------------------------------------------------------------------------

double amount_value(float v) {
    // Whole cents (the usual amount) by arithmetic, shared with the exact money of the facts.
    if (const auto cents = whole_cents(v))
        return std::copysign(static_cast<double>(*cents) / 100.0, static_cast<double>(v));
    const double d = v;
    if (std::fabs(d) < 16777216.0 && d == std::nearbyint(d))
        return d;  // a whole number below 2^24 is its own shortest decimal
    return amount_value_exact(v);
}

double amount_value_exact(float v) {
    std::string text;
    append_f32_plain(text, v);
    double d = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), d);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        fault_unreachable("amount does not read back: " + text);
    return d;
}

}  // namespace hs::arrow
