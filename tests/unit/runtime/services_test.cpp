// The services record: start-up fills every entry, and a record with any entry empty is incomplete, whether
// the entry is the first, one in the middle, the data pointer or the last.

#include "runtime_fixture.h"

using namespace xol;

namespace {

using ServicesTest = RuntimeTest;

TEST_F(ServicesTest, StartUpFillsEveryEntry)
{
    EXPECT_TRUE(is_complete(services));
    EXPECT_FALSE(is_complete(Services {}));
}

TEST_F(ServicesTest, AnyEmptyEntryMakesTheRecordIncomplete)
{
    using Clear = void (*)(Services&);
    Clear const clears[] = {
        [](Services& record) { record.make_error = nullptr; },
        [](Services& record) { record.compare_keys = nullptr; },
        [](Services& record) { record.current_position = nullptr; },
        [](Services& record) { record.resume_after_print = nullptr; },
    };
    for (Clear clear : clears) {
        Services record = services;
        clear(record);
        EXPECT_FALSE(is_complete(record));
    }
}

}
