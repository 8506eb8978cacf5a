// The checksum native: CRC-32, Adler-32 and the "tcp" sum as integers, MD5 and the SHA digests plain or
// keyed as binaries, over a string's UTF-8 or a binary's bytes. The method word is matched without regard
// to case.

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/file.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/checksums.h"
#include "runtime/errors.h"
#include "runtime/host/files.h"
#include "runtime/output.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

enum class ChecksumMethod : std::uint8_t { Tcp, Md5, Sha1, Crc32, Adler32, Sha256, Sha384, Sha512, Hash };

// The method words in the order of ChecksumMethod.
char const* const method_names[] = { "tcp", "md5", "sha1", "crc32", "adler32", "sha256", "sha384", "sha512", "hash" };

// Looked up afresh on each call (nine look-ups of interned names), so nothing outlives a runtime that a
// test makes anew.
ChecksumMethod method_of(Cell const& word)
{
    SymbolId const given = symbol::resolve(word::symbol_of(word));
    for (std::size_t i = 0; i < std::size(method_names); ++i)
        if (symbol::resolve(symbol::make_case(method_names[i])) == given) return static_cast<ChecksumMethod>(i);
    fire_error(err::script::invalid_arg, &word);
}

checksums::Method digest_method(ChecksumMethod method)
{
    switch (method) {
    case ChecksumMethod::Md5:
        return checksums::Method::Md5;
    case ChecksumMethod::Sha1:
        return checksums::Method::Sha1;
    case ChecksumMethod::Sha256:
        return checksums::Method::Sha256;
    case ChecksumMethod::Sha384:
        return checksums::Method::Sha384;
    default:
        return checksums::Method::Sha512;
    }
}

// The data's bytes, copied out of the series so that nothing can move them while they are summed.
std::string data_bytes(Cell const& data)
{
    switch (cell::type_of(data)) {
    case type_ids::string:
        return string::to_utf8(data);
    case type_ids::binary: {
        std::span<std::uint8_t const> const content = binary::bytes(data);
        return { reinterpret_cast<char const*>(content.data()), content.size() };
    }
    case type_ids::file: {
        // The file's bytes as they are, read whole.
        std::optional<std::string> bytes = host::files::read(file::local_path(data), -1, -1);
        if (!bytes) fire_error(err::access::cannot_open, &data);
        return std::move(*bytes);
    }
    default:
        fire_error(err::script::invalid_arg, &data);
    }
}

[[noreturn]] void refuse_with(Cell const& argument)
{
    Cell const word = series::refinement_word("with");
    fire_error(err::script::invalid_refine_arg, &word, &argument);
}

// A digest that did not come about never passes for one: a missing library is an access error, a refusal
// (a method the system's crypto policy bars) an internal feature-na.
void check_outcome(checksums::Outcome outcome)
{
    if (outcome == checksums::Outcome::Done) return;
    if (outcome == checksums::Outcome::NoLibrary) {
        Cell const name = string::from_utf8(platform::crypto::library_name());
        fire_error(err::access::cannot_open, &name);
    }
    fire_error(err::internal::feature_na);
}

std::uint8_t const* unsigned_bytes(std::string const& bytes)
{
    return reinterpret_cast<std::uint8_t const*>(bytes.data());
}

}

// Refinements: /with spec.
void checksum(std::int32_t const* refinements)
{
    std::string const bytes = data_bytes(*argument(0));
    Cell const& method_word = *argument(1);
    ChecksumMethod const method = method_of(method_word);
    Cell const* const spec = refinement_argument(refinements[0]);
    std::uint8_t const* const data = unsigned_bytes(bytes);
    switch (method) {
    case ChecksumMethod::Crc32:
    case ChecksumMethod::Tcp:
    case ChecksumMethod::Adler32: {
        if (spec) refuse_with(method_word);
        std::uint32_t sum = 0;
        if (method == ChecksumMethod::Crc32) sum = checksums::crc32(data, bytes.size());
        if (method == ChecksumMethod::Tcp) sum = checksums::tcp_sum(data, bytes.size());
        if (method == ChecksumMethod::Adler32) sum = checksums::adler32(data, bytes.size());
        // A CRC of 2^31 and more reads as a negative integer!.
        integer::set_result(static_cast<std::int32_t>(sum));
        return;
    }
    default:
        break;
    }
    if (!spec) {
        if (method == ChecksumMethod::Hash) refuse_with(method_word);
        std::uint8_t digest[platform::crypto::largest_digest];
        checksums::Method const digested = digest_method(method);
        check_outcome(checksums::digest(digested, data, bytes.size(), digest));
        stack::set_only_result(binary::load({ digest, checksums::digest_size(digested) }));
        return;
    }
    TypeId const spec_type = cell::type_of(*spec);
    if (spec_type == type_ids::integer) {
        // The hash table size of the method hash: a method not designed yet.
        static char const line[] = "** /hash support not yet implemented; algorithm TBD.";
        conout::write_latin1_line(line, sizeof line - 1);
        integer::set_result(0);
        return;
    }
    if (spec_type != type_ids::string && spec_type != type_ids::binary) fire_error(err::script::invalid_arg, spec);
    if (method == ChecksumMethod::Hash) refuse_with(*spec);
    // A binary key gives its bytes from its index to its tail, text its UTF-8.
    std::string const key = data_bytes(*spec);
    std::uint8_t digest[platform::crypto::largest_digest];
    checksums::Method const digested = digest_method(method);
    check_outcome(checksums::hmac(digested, data, bytes.size(), unsigned_bytes(key), key.size(), digest));
    stack::set_only_result(binary::load({ digest, checksums::digest_size(digested) }));
}

}
