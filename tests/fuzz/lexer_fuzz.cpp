// Fuzz target for the lexer: arbitrary bytes through every scan mode, without and with a callback that
// refuses events and moves the input, as a string! through transcode, and as the text that `to` makes
// values of the number and literal types from (integer!, float!, percent!, time!, pair!, date!, money!, tuple!, the
// points), whose values are then formed; the loaded values (and the text) go in as bitset! specs; each loaded value
// goes to tuple! as a make spec. The values the text loads as are formed and molded too, dates and money read through
// their fields, and the loaded block is made into a date! and a money!, as blocks of their parts. A syntax error or a
// script error is an answer; a crash, a sanitizer report, an assertion or a hang is a fault. The library runs first:
// the month names and the currency codes live there. Seeds: tests/fuzz/lexer_seeds/.

#include <cstddef>
#include <cstdint>

#include "app/startup.h"
#include "datatypes/bitset.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "interpreter/boot.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/lexer/transcode.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "tests/fuzz/fuzz_guard.h"

namespace {

using namespace xol;

// A callback whose answers and moves of the input come from the input's own bytes: refusals of every
// event, and a few moves of the index (clamped by the lexer) backward and forward.
struct Answers {
    std::uint8_t const* bytes = nullptr;
    std::size_t size = 0;
    std::size_t next = 0;
    int moves_left = 0;

    std::uint8_t draw() { return size == 0 ? 0 : bytes[next++ % size]; }
};

Answers answers;

// The input as a binary!, for the callback's input argument. May allocate.
Cell binary_input(std::uint8_t const* data, std::size_t size)
{
    NodeId const node = series::alloc_bytes(size);
    for (std::size_t i = 0; i < size; ++i) buffer::append_byte(node, data[i]);
    return cell::make(type_ids::binary, 0, node, 0);
}

Cell answer_event(Cell const&, Cell* arguments, std::uint32_t)
{
    std::uint8_t const choice = answers.draw();
    if ((choice & 0xF0) == 0xA0 && answers.moves_left > 0) {
        --answers.moves_left;
        arguments[1].word1
            = static_cast<std::uint32_t>(static_cast<std::int32_t>(arguments[1].word1) + (choice & 7) - 3);
    }
    return cell::make(type_ids::logic, (choice & 3) != 0);
}

Cell no_body(Cell const&)
{
    return none_value;
}

// Values of the types whose modules are elsewhere are made in their cell layouts once registered.
DatatypeRecord const stand_ins[] = {
    { type_ids::file, type_ids::string, "file!", {} },
    { type_ids::url, type_ids::string, "url!", {} },
};

bool start()
{
    app::init();
    for (DatatypeRecord const& record : stand_ins) datatype::register_(record);
    lexer::init();
    gc::state.enabled = true;
    boot::run_library();
    services.call_lexer_callback = answer_event;
    services.callback_body = no_body;
    return true;
}

// The form and the mold of a value, whose type has both.
void form_and_mold(Cell const& value)
{
    Rooted kept(value);
    TypeActions const& actions = datatype::actions(cell::type_of(*kept));
    Rooted text(string::make(16));
    actions.form(*kept, *text, nullptr, 1'000);
    actions.mold(*kept, *text, false, true, false, nullptr, 1'000, 0);
}

// Every loaded date and money! formed, molded and read through each of its fields.
void read_values(Cell const& block)
{
    Rooted kept(block);
    std::uint32_t const count = node::buffer(kept->word2)->length();
    for (std::uint32_t i = 0; i < count && i < 64; ++i) {
        Cell const value = node::buffer(kept->word2)->head_cell()[i];
        TypeId const type = cell::type_of(value);
        if (type != date::type_id && type != money::type_id) continue;
        fuzz::raised([&] { form_and_mold(value); });
        TypeActions const& actions = datatype::actions(type);
        for (std::int32_t field = 1; field <= 14; ++field)
            fuzz::raised([&] { actions.pick(value, field, integer::make(field)); });
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    auto const length = static_cast<std::uint32_t>(size);
    lexer::ScanOptions const modes[] = {
        {},
        { .one_value = true },
        { .one_value = true, .load = false },
        { .one_value = true, .make_result = false },
        { .load = false },
    };
    for (lexer::ScanOptions const& options : modes) {
        fuzz::raised([&] {
            Cell* result = stack::push(none_value);
            std::uint32_t consumed = 0;
            lexer::scan(*result, data, length, options, &consumed, none_value, none_value, nullptr);
            if (consumed > length) __builtin_trap();
        });
    }
    // With a callback that refuses events and moves the input.
    answers = { data, size, size / 2, 3 };
    for (lexer::ScanOptions const& options : modes) {
        fuzz::raised([&] {
            Cell* result = stack::push(none_value);
            std::uint32_t consumed = 0;
            Cell const callback = cell::make(type_ids::function);
            Rooted input(binary_input(data, size));
            lexer::scan(*result, data, length, options, &consumed, callback, *input, nullptr);
        });
    }
    // The same bytes as text, when they are UTF-8, with a /part that reaches past them.
    fuzz::raised([&] {
        Rooted text(string::from_utf8({ reinterpret_cast<char const*>(data), size }));
        Cell const part = cell::make(type_ids::integer, 0, length + 7, 0);
        Rooted loaded(lexer::transcode(*text, { .next = true, .part = &part }));
    });
    // The values the bytes load as, read; the block of them made into a date and into money.
    fuzz::raised([&] {
        Rooted loaded(none_value);
        lexer::scan(*loaded, data, length, {}, nullptr, none_value, none_value, nullptr);
        if (cell::type_of(*loaded) != type_ids::block) return;
        read_values(*loaded);
        for (TypeId const type : { date::type_id, money::type_id }) {
            TypeActions const& actions = datatype::actions(type);
            fuzz::raised([&] { form_and_mold(actions.make(none_value, *loaded, type)); });
            fuzz::raised([&] { form_and_mold(actions.to(none_value, *loaded, type)); });
        }
    });
    // The text made into a value of each literal type by `to`, then formed and molded.
    for (TypeId const type : { integer::type_id, float_::type_id, percent::type_id, time::type_id, pair::type_id,
             date::type_id, money::type_id, tuple::type_id, point2d::type_id, point3d::type_id }) {
        fuzz::raised([&] {
            Rooted text(string::from_utf8({ reinterpret_cast<char const*>(data), size }));
            TypeActions const& actions = datatype::actions(type);
            Rooted made(actions.to(none_value, *text, type));
            Rooted formed(string::make(16));
            actions.form(*made, *formed, nullptr, 1'000);
            actions.mold(*made, *formed, false, false, false, nullptr, 1'000, 0);
        });
    }
    // Each loaded value as a tuple! spec.
    fuzz::raised([&] {
        Rooted text(string::from_utf8({ reinterpret_cast<char const*>(data), size }));
        Rooted loaded(lexer::transcode(*text, {}));
        TypeActions const& actions = datatype::actions(tuple::type_id);
        std::uint32_t const length = node::buffer((*loaded).word2)->length();
        for (std::uint32_t i = 0; i < length; ++i) {
            fuzz::raised([&] {
                Rooted spec(node::buffer((*loaded).word2)->head_cell()[i]);
                Rooted made(actions.make(none_value, *spec, tuple::type_id));
                Rooted formed(string::make(16));
                actions.mold(*made, *formed, false, false, false, nullptr, 1'000, 0);
            });
        }
    });
    // The loaded values, and the text itself, as bitset! specs: made, complemented, tested and printed. A
    // spec that names bits past a million is left alone, to keep each run small.
    fuzz::raised([&] {
        Rooted text(string::from_utf8({ reinterpret_cast<char const*>(data), size }));
        Rooted loaded(lexer::transcode(*text, {}));
        for (Cell const* spec : { &*loaded, &*text }) {
            if (bitset::process_spec(*spec, none_value, bitset::SpecMode::Size, bitset::SpecError::Make) > 125'000)
                continue;
            Rooted set(bitset::make_from_spec(*spec, false));
            TypeActions const& actions = datatype::actions(bitset::type_id);
            Rooted other(actions.complement(*set));
            bitset::process_spec(*spec, *other, bitset::SpecMode::Test, bitset::SpecError::Action);
            Rooted both(bitset::bitwise(*set, *other, MathOp::Xor));
            Rooted formed(string::make(16));
            actions.mold(*both, *formed, false, false, false, nullptr, 1'000, 0);
        }
    });
    return 0;
}
