// The Arrow tables: the amount conversion, and a real run-twice file built into batches that are
// read back through nanoarrow's validating views and through the shared stream.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "export/arrow.hpp"
#include "sites/parse.hpp"

namespace {

using namespace hs;
using namespace hs::arrow;

// ---------------------------------------------------------------------------------------------
// Amounts
// ---------------------------------------------------------------------------------------------

void expect_same(float v) {
    const double fast = amount_value(v);
    const double exact = amount_value_exact(v);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(fast), std::bit_cast<std::uint64_t>(exact))
        << "float bits " << std::bit_cast<std::uint32_t>(v);
}

TEST(Amounts, KnownValues) {
    EXPECT_EQ(amount_value(0.1f), 0.1);
    EXPECT_EQ(amount_value(0.25f), 0.25);
    EXPECT_EQ(amount_value(1523.85f), 1523.85);
    EXPECT_EQ(amount_value(150000.0f), 150000.0);
    EXPECT_EQ(amount_value(0.001f), 0.001);        // below a cent: the exact path
    EXPECT_EQ(amount_value(131072.5f), 131072.5);  // above 2^17, not whole: the exact path
    EXPECT_EQ(amount_value(1e20f), 1e20);
    EXPECT_TRUE(std::isnan(amount_value(std::nanf(""))));
    EXPECT_EQ(amount_value(-0.0f), 0.0);
    EXPECT_TRUE(std::signbit(amount_value(-0.0f)));
}

TEST(Amounts, FastPathAgreesWithTheTextFormOnRandomFloats) {
    std::mt19937_64 rng(15);
    std::uniform_int_distribution<std::uint32_t> bits;
    std::uniform_int_distribution<std::uint32_t> cents(0, 30'000'000);
    std::uniform_int_distribution<std::uint32_t> whole(0, 1u << 25);
    for (int i = 0; i < 300'000; ++i) {
        expect_same(std::bit_cast<float>(bits(rng)));          // any float at all
        expect_same(static_cast<float>(cents(rng)) / 100.0f);  // amounts as the texts write them
        expect_same(static_cast<float>(whole(rng)));
    }
    // Every cent up to the edge of the fast path, where a float's interval nears a cent.
    for (std::uint32_t c = 13'000'000; c < 13'107'300; ++c)
        expect_same(static_cast<float>(static_cast<double>(c) / 100.0));
}

// ---------------------------------------------------------------------------------------------
// Tables from a real file
// ---------------------------------------------------------------------------------------------

// A validated view over one batch of a table.
class BatchView {
  public:
    BatchView(TableId table, const ArrowArray& batch) {
        table_schema(table, &schema_.raw);
        ArrowError error{};
        EXPECT_EQ(ArrowArrayViewInitFromSchema(&view_, &schema_.raw, &error), NANOARROW_OK);
        EXPECT_EQ(ArrowArrayViewSetArray(&view_, &batch, &error), NANOARROW_OK) << error.message;
        EXPECT_EQ(ArrowArrayViewValidate(&view_, NANOARROW_VALIDATION_LEVEL_FULL, &error),
                  NANOARROW_OK)
            << error.message;
    }
    ~BatchView() { ArrowArrayViewReset(&view_); }

    int column(std::string_view name) const {
        for (std::int64_t i = 0; i < schema_.raw.n_children; ++i)
            if (name == schema_.raw.children[i]->name) return static_cast<int>(i);
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
    const ArrowArrayView& col(std::string_view name) const { return *view_.children[column(name)]; }
    const ArrowArrayView& col(std::int64_t i) const { return *view_.children[i]; }
    std::int64_t columns() const { return view_.n_children; }
    std::int64_t rows() const { return view_.length; }

    // The text of a string or dictionary-encoded value; "null" for a null.
    static std::string text(const ArrowArrayView& v, std::int64_t i) {
        if (ArrowArrayViewIsNull(&v, i)) return "null";
        if (v.dictionary != nullptr) return text(*v.dictionary, ArrowArrayViewGetIntUnsafe(&v, i));
        const ArrowStringView s = ArrowArrayViewGetStringUnsafe(&v, i);
        return std::string(s.data, static_cast<std::size_t>(s.size_bytes));
    }
    std::string text(std::string_view name, std::int64_t i) const { return text(col(name), i); }
    // Cards of a list of cards, space-separated.
    static std::string cards(const ArrowArrayView& list, std::int64_t i) {
        if (ArrowArrayViewIsNull(&list, i)) return "null";
        std::string out;
        const std::int64_t from = ArrowArrayViewListChildOffset(&list, i);
        const std::int64_t to = ArrowArrayViewListChildOffset(&list, i + 1);
        for (std::int64_t k = from; k < to; ++k) {
            if (k != from) out += ' ';
            out += text(*list.children[0], k);
        }
        return out;
    }
    double number(std::string_view name, std::int64_t i) const {
        return ArrowArrayViewGetDoubleUnsafe(&col(name), i);
    }

  private:
    OwnedSchema schema_;
    ArrowArrayView view_{};
};

std::unique_ptr<HandStore> parse_data(const std::string& name) {
    ParseResult r = parse_file(std::string(HS_SOURCE_DIR) + "/tests/data/pokerstars/" + name);
    EXPECT_TRUE(r.ok()) << r.error;
    return std::move(r.store);
}

TEST(Tables, RunTwiceHandRowByRow) {
    const auto store = parse_data("PokerStars__CashGame__PlayerTests__RunItTwice.txt");
    ASSERT_EQ(store->hands.size(), 1u);
    TablesBuilder builder;
    builder.add(*store, Span::make(0, 1), "run.txt");
    const auto tables = builder.finish();
    for (const TableBatches& t : tables) ASSERT_EQ(t.batches.size(), 1u);

    const BatchView hands(TableId::Hands, tables[0].batches[0].raw);
    ASSERT_EQ(hands.rows(), 1);
    EXPECT_EQ(hands.text("site", 0), "PokerStars");
    EXPECT_EQ(hands.text("currency", 0), "USD");
    EXPECT_EQ(hands.text("hero", 0), "OneMoreSpin");  // "Dealt to OneMoreSpin [...]"
    EXPECT_EQ(hands.text("source", 0), "run.txt");
    // Two boards that share the flop and the turn.
    const ArrowArrayView& boards = hands.col("boards");
    ASSERT_EQ(ArrowArrayViewListChildOffset(&boards, 1), 2);
    EXPECT_EQ(BatchView::cards(*boards.children[0], 0), "3d Kd 9h 8h 4s");
    EXPECT_EQ(BatchView::cards(*boards.children[0], 1), "3d Kd 9h 8h Kc");

    const BatchView players(TableId::Players, tables[1].batches[0].raw);
    EXPECT_EQ(players.rows(), static_cast<std::int64_t>(store->hands[0].header.players.count()));

    // The actions in text order: the streets of the second river after the first's.
    const BatchView actions(TableId::Actions, tables[2].batches[0].raw);
    std::vector<std::string> streets;
    for (std::int64_t i = 0; i < actions.rows(); ++i) {
        EXPECT_EQ(ArrowArrayViewGetUIntUnsafe(&actions.col("seq"), i),
                  static_cast<std::uint64_t>(i));
        const std::string s = actions.text("street", i) +
                              std::to_string(ArrowArrayViewGetUIntUnsafe(&actions.col("board"), i));
        if (streets.empty() || streets.back() != s) streets.push_back(s);
    }
    // The summary's seat lines are no rows: what they say is in the players table.
    EXPECT_EQ(streets, (std::vector<std::string>{"predeal0", "preflop0", "flop0", "turn0",
                                                 "showdown0", "showdown1"}));
    EXPECT_EQ(actions.text("source", 0), "run.txt");
    // Facts: the wins over both boards are the pot less the rake, and the nets add up to minus
    // the rake.
    double won = 0, net = 0;
    for (std::int64_t i = 0; i < players.rows(); ++i) {
        won += players.number("won", i);
        net += players.number("net", i);
    }
    EXPECT_DOUBLE_EQ(won, hands.number("total_pot", 0) - hands.number("rake", 0));
    EXPECT_DOUBLE_EQ(net, -hands.number("rake", 0));
    EXPECT_GT(hands.number("rake", 0), 0.0);
}

TEST(Tables, BatchesSplitAndDictionariesRestart) {
    const auto store = parse_data("hh.com_Baetsle_289FR_2021.07.30_0.txt");
    const std::size_t n = store->hands.size();
    ASSERT_GE(n, 2u);
    TablesBuilder builder(1);  // one hand per batch
    builder.add(*store, Span::make(0, n), "a.txt");
    builder.add(*store, Span::make(0, 0), "empty.txt");
    const auto tables = builder.finish();
    ASSERT_EQ(tables[0].batches.size(), n);
    EXPECT_EQ(tables[0].rows(), static_cast<std::int64_t>(n));
    for (const OwnedArray& b : tables[0].batches) {
        const BatchView v(TableId::Hands, b.raw);
        EXPECT_EQ(v.text("source", 0), "a.txt");
        EXPECT_EQ(v.col("source").dictionary->length, 1);
    }
    EXPECT_TRUE(TablesBuilder().finish()[0].batches.empty());
}

// The flags (nulls and booleans) are packed 16 and 8 rows at a time, the rest one by one: every
// row's flags are the same whatever the batches, and a column's null count is its nulls.
TEST(Tables, FlagsTheSameWhateverTheBatches) {
    const auto store = parse_data("hh.com_Baetsle_289FR_2021.07.30_0.txt");
    const auto rows_of = [&](std::size_t batch_hands) {
        TablesBuilder builder(batch_hands);
        builder.add(*store, Span::make(0, store->hands.size()), "a.txt");
        std::vector<std::string> rows;  // a letter per column: n null, 0 or 1 a bool, v a value
        for (const TableBatches& t : builder.finish()) {
            for (const OwnedArray& b : t.batches) {
                const BatchView v(t.table, b.raw);
                const std::size_t first = rows.size();
                rows.resize(first + static_cast<std::size_t>(v.rows()));
                for (std::int64_t c = 0; c < v.columns(); ++c) {
                    const ArrowArrayView& col = v.col(c);
                    std::int64_t nulls = 0;
                    for (std::int64_t i = 0; i < v.rows(); ++i) {
                        char f = 'v';
                        if (ArrowArrayViewIsNull(&col, i)) {
                            f = 'n';
                            ++nulls;
                        } else if (col.storage_type == NANOARROW_TYPE_BOOL) {
                            f = static_cast<char>('0' + ArrowArrayViewGetIntUnsafe(&col, i));
                        }
                        rows[first + static_cast<std::size_t>(i)] += f;
                    }
                    EXPECT_EQ(nulls, col.null_count);
                }
            }
        }
        return rows;
    };
    const auto whole = rows_of(TablesBuilder::kBatchHands);
    ASSERT_GT(whole.size(), 32u);
    for (const std::size_t hands : {1, 2, 5}) EXPECT_EQ(rows_of(hands), whole) << hands;
}

TEST(Tables, StreamOutlivesItsOwnerAndExportsAgain) {
    const auto store = parse_data("hh.com_Baetsle_289FR_2021.07.30_0.txt");
    TablesBuilder builder(2);
    builder.add(*store, Span::make(0, store->hands.size()), {});
    auto tables = builder.finish();
    auto data = std::make_shared<const TableBatches>(std::move(tables[2]));
    const std::int64_t rows = data->rows();
    for (int round = 0; round < 2; ++round) {
        ArrowArrayStream stream{};
        export_stream(data, &stream);
        OwnedSchema schema;
        ASSERT_EQ(stream.get_schema(&stream, &schema.raw), NANOARROW_OK);
        EXPECT_STREQ(schema.raw.children[2]->name, "seq");
        std::vector<OwnedArray> got;
        for (;;) {
            OwnedArray a;
            ASSERT_EQ(stream.get_next(&stream, &a.raw), NANOARROW_OK);
            if (a.raw.release == nullptr) break;
            got.push_back(std::move(a));
        }
        stream.release(&stream);
        if (round == 1) data.reset();  // the arrays alone keep the buffers now
        std::int64_t seen = 0;
        for (const OwnedArray& a : got) {
            const BatchView v(TableId::Actions, a.raw);
            seen += v.rows();
        }
        EXPECT_EQ(seen, rows);
    }
}

}  // namespace
