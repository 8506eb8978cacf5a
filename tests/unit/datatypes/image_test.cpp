// image! values through the codec entries a script reaches by load and save: decoding a binary! or a file,
// encoding to each format, scaling, and the release of unreachable pixel stores.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../runtime/runtime_fixture.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/image.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/registry.h"
#include "runtime/extres.h"
#include "runtime/roots.h"

using namespace xol;

namespace {

struct ImageTest : RuntimeTest {
    void TearDown() override
    {
        // Every store goes back before the runtime's memory does.
        gc::collect();
        extres::sweep();
        RuntimeTest::TearDown();
    }
};

Cell make_image(std::uint32_t width, std::uint32_t height, std::vector<std::uint32_t> const& pixels)
{
    image::OwnedStore store = image::new_store(width, height);
    if (store) std::copy(pixels.begin(), pixels.end(), store->pixels);
    return image::make_with_store(std::move(store), width, height);
}

std::vector<std::uint32_t> pixels_of(Cell const& value)
{
    pixel_store::PixelStore const* store = image::store_of(value);
    if (!store) return {};
    return { store->pixels, store->pixels + pixel_store::pixel_count(*store) };
}

std::vector<std::uint32_t> const sample = { 0xFF102030, 0x80FFFFFF, 0x00000000, 0xFF000000, 0x7F405060, 0xFFABCDEF };

std::uint32_t live_stores()
{
    std::uint32_t count = 0;
    for (std::int32_t i = extres::state.live_head; i != extres::end_of_list; i = extres::state.slots[i].next) ++count;
    return count;
}

}

// Lossless formats give the pixels back exactly; an image without pixels and an unknown format index are refused.
TEST_F(ImageTest, EncodingAndDecodingGiveThePixelsBack)
{
    Rooted picture(make_image(3, 2, sample));
    for (std::int32_t format : { 0, 1, 4 }) {
        Rooted encoded(image::encode(*picture, format));
        ASSERT_EQ(cell::type_of(*encoded), type_ids::binary);
        Rooted decoded(image::from_binary(*encoded));
        ASSERT_EQ(cell::type_of(*decoded), type_ids::image) << format;
        EXPECT_EQ(image::width(*decoded), 3u);
        EXPECT_EQ(image::height(*decoded), 2u);
        EXPECT_EQ(pixels_of(*decoded), sample) << format;
    }
    Rooted empty(make_image(0, 5, {}));
    EXPECT_EQ(raised_by([&] { image::encode(*empty, 1); }), err::access::bad_media);
    EXPECT_EQ(raised_by([&] { image::encode(*picture, 5); }), err::script::out_of_range);
}

// Bytes of no known format are none!; a known signature over bad bytes, or a side beyond 16 bits, is bad media.
TEST_F(ImageTest, BadBytesAreNoneOrBadMedia)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::optional<ErrorId> error;
    };
    std::vector<std::uint8_t> wide
        = { 'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0x70, 0x11, 1, 0, 1, 0, 0, 0, 1, 0, 24, 0 };
    wide.resize(54 + 70000 * 3 + 2, 0);
    Case const cases[] = {
        { { 'X', 'Y', 'Z' }, std::nullopt }, { { 'B' }, std::nullopt }, { {}, std::nullopt },
        { { 'B', 'M', 1, 2, 3 }, err::access::bad_media }, { { 0x89, 'P', 'N', 'G', 0, 0, 0 }, err::access::bad_media },
        { { 0xFF, 0xD8, 0xFF, 0xE0 }, err::access::bad_media },
        { { 'G', 'I', 'F', '8', '9', 'a', 1 }, err::access::bad_media },
        { { 'I', 'I', '*', 0, 9, 9 }, err::access::bad_media }, { wide, err::access::bad_media }, // 70000 pixels wide
    };
    for (Case const& each : cases) {
        Rooted bytes(binary::load(each.bytes));
        Rooted result(none_value);
        EXPECT_EQ(raised_by([&] { *result = image::from_binary(*bytes); }), each.error);
        if (!each.error) {
            EXPECT_EQ(cell::type_of(*result), type_ids::none);
        }
    }
}

// A file decodes through its path; a missing or undecodable one is cannot-open.
TEST_F(ImageTest, FilesDecodeOrCannotBeOpened)
{
    Rooted name(binary::load(std::vector<std::uint8_t> { 'f' }));
    std::string const fixtures = XOL_IMAGE_FIXTURES;
    Rooted decoded(image::from_path(fixtures + "/top_down.bmp", *name));
    EXPECT_EQ(pixels_of(*decoded), (std::vector<std::uint32_t> { 0xFF030201, 0xFF060504, 0xFF090807, 0xFF0C0B0A }));
    EXPECT_EQ(raised_by([&] { image::from_path(fixtures + "/no such file.png", *name); }), err::access::cannot_open);
    EXPECT_EQ(raised_by([&] { image::from_path(fixtures + "/README.md", *name); }), err::access::cannot_open);
    Rooted file(file::from_local(fixtures + "/rle8.bmp"));
    Rooted from_file(image::decode(*file));
    EXPECT_EQ(image::width(*from_file), 4u);
    Rooted missing(file::from_local(fixtures + "/missing.gif"));
    EXPECT_EQ(raised_by([&] { image::decode(*missing); }), err::access::cannot_open);
}

TEST_F(ImageTest, ScalingPicksTheNearestPixels)
{
    Rooted picture(make_image(2, 1, { 1, 2 }));
    Rooted scaled(image::scaled(*picture, 4, 2));
    EXPECT_EQ(pixels_of(*scaled), (std::vector<std::uint32_t> { 1, 1, 2, 2, 1, 1, 2, 2 }));
    EXPECT_EQ(raised_by([&] { image::scaled(*picture, 70000, 1); }), err::script::out_of_range);
}

// Images no value reaches give their stores back at the next collection; reachable ones keep theirs.
TEST_F(ImageTest, UnreachableStoresAreReleased)
{
    std::uint32_t const before = live_stores();
    Rooted kept(make_image(3, 2, sample));
    for (int i = 0; i < 1000; ++i) make_image(16, 16, std::vector<std::uint32_t>(256, 7));
    gc::collect();
    EXPECT_EQ(live_stores(), before + 1);
    EXPECT_EQ(pixels_of(*kept), sample);
}
