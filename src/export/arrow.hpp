// The Arrow tables: the hands of a store as three tables of Arrow C data (hands, players,
// actions), built column by column into nanoarrow buffers, and the stream through which any
// number of consumers read them without copies. No Python here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "nanoarrow/nanoarrow.h"

namespace hs::arrow {

enum class TableId : std::uint8_t { Hands = 0, Players = 1, Actions = 2 };
inline constexpr std::size_t kTableCount = 3;

// Owned C data structures: released with the object. Move-only.
class OwnedArray {
  public:
    OwnedArray() noexcept = default;
    OwnedArray(OwnedArray&& other) noexcept;
    OwnedArray& operator=(OwnedArray&& other) noexcept;
    ~OwnedArray();
    ArrowArray raw{};
};

class OwnedSchema {
  public:
    OwnedSchema() noexcept = default;
    OwnedSchema(const OwnedSchema&) = delete;
    OwnedSchema& operator=(const OwnedSchema&) = delete;
    ~OwnedSchema();
    ArrowSchema raw{};
};

// The schema of a table: a struct whose children are its columns (see the README).
void table_schema(TableId table, ArrowSchema* out);

// The record batches of one table, in row order.
struct TableBatches {
    TableId table = TableId::Hands;
    std::vector<OwnedArray> batches;
    std::int64_t rows() const noexcept;
};

// Rows for the three tables, finished into a record batch per table every `batch_hands` hands
// (so that no string column of a batch outgrows its 32-bit offsets).
class TablesBuilder {
  public:
    static constexpr std::size_t kBatchHands = 65536;
    explicit TablesBuilder(std::size_t batch_hands = kBatchHands);
    TablesBuilder(const TablesBuilder&) = delete;
    TablesBuilder& operator=(const TablesBuilder&) = delete;
    ~TablesBuilder();

    // Appends the hands of `hands` with their players and actions. `source` is the file they
    // were read from; empty gives a null source.
    void add(const HandStore& store, Span hands, std::string_view source);
    // Every batch of the rows added so far, the last one finished here; the builder is empty
    // afterwards.
    std::array<TableBatches, kTableCount> finish();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A stream over the batches. It keeps `data` alive until the stream and every array it handed
// out are released, so the same batches can be exported any number of times.
void export_stream(std::shared_ptr<const TableBatches> data, ArrowArrayStream* out);

// An amount as the float64 nearest to the shortest decimal that reads back as the same float
// (the digits the text form prints): 0.1f gives 0.1, never 0.10000000149011612. Whole cents
// and whole numbers are found by arithmetic; other values go through `amount_value_exact`.
double amount_value(float v);
// The same value through the text form and back: the reference for `amount_value`.
double amount_value_exact(float v);

}  // namespace hs::arrow
