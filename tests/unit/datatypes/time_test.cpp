// time!: the fields and their setters. Setting a field to the value it reads gives the same bits back, the
// other fields read as before, and a time without fields (not finite, or an hour beyond integer!) raises.

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "datatypes/time.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

using TimeTest = ScalarTest;

// Whole and fractional seconds of both signs, from a microsecond to the last hour that fits an integer!.
std::vector<double> sample_times()
{
    std::vector<double> times { 0.0, -0.0, 0.5, -0.5, 59.999, 3599.9999999, -3600.0, 5415.0, -5415.0, 7730941129200.0,
        -7730941129200.0, 7730941132799.75 };
    std::mt19937_64 generator(20260101);
    std::uniform_real_distribution<double> exponent(-6.0, 12.8);
    for (int i = 0; i < 4000; ++i) {
        double magnitude = std::pow(10.0, exponent(generator));
        if (i % 3 == 0) magnitude = std::round(magnitude); // whole seconds
        times.push_back((i & 1) != 0 ? -magnitude : magnitude);
    }
    return times;
}

bool same_bits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}

TEST_F(TimeTest, AFieldSetToItsReadingChangesNothing)
{
    for (double const seconds : sample_times()) {
        EXPECT_TRUE(same_bits(time::set_hours(seconds, time::get_hours(seconds)), seconds)) << seconds;
        EXPECT_TRUE(same_bits(time::set_minutes(seconds, time::get_minutes(seconds)), seconds)) << seconds;
        EXPECT_TRUE(same_bits(time::set_seconds(seconds, time::get_seconds(seconds)), seconds)) << seconds;
    }
}

// A field set within its range reads back as set; the other fields read as before (a new hour of the other
// sign moves the second's sign with the time's).
TEST_F(TimeTest, SettersInvertTheGetters)
{
    for (double const seconds : sample_times()) {
        std::int32_t const hours = time::get_hours(seconds);
        std::int32_t const minutes = time::get_minutes(seconds);
        double const second = time::get_seconds(seconds);
        if (std::fabs(seconds) > 1e12) continue; // beyond these sums' exact range

        double const new_minute = time::set_minutes(seconds, 17);
        EXPECT_EQ(time::get_minutes(new_minute), 17) << seconds;
        EXPECT_EQ(time::get_hours(new_minute), hours) << seconds;
        EXPECT_NEAR(time::get_seconds(new_minute), second, 1e-6) << seconds;

        double const new_second = time::set_seconds(seconds, std::signbit(seconds) ? -42.25 : 42.25);
        EXPECT_DOUBLE_EQ(std::fabs(time::get_seconds(new_second)), 42.25) << seconds;
        EXPECT_EQ(time::get_minutes(new_second), minutes) << seconds;
        EXPECT_EQ(time::get_hours(new_second), hours) << seconds;

        for (std::int32_t const new_hours : { -5, 7 }) {
            double const new_hour = time::set_hours(seconds, new_hours);
            EXPECT_EQ(time::get_hours(new_hour), new_hours) << seconds;
            EXPECT_EQ(time::get_minutes(new_hour), minutes) << seconds;
            EXPECT_NEAR(std::fabs(time::get_seconds(new_hour)), std::fabs(second), 1e-6) << seconds;
        }
    }
}

TEST_F(TimeTest, TimesWithoutFieldsRaiseOverflow)
{
    double const inf = std::numeric_limits<double>::infinity();
    for (double const seconds : { inf, -inf, std::numeric_limits<double>::quiet_NaN(), 7730941132800.0, -1e20 }) {
        EXPECT_EQ(raised_by([&] { time::get_hours(seconds); }), err::math::overflow) << seconds;
        EXPECT_EQ(raised_by([&] { time::get_minutes(seconds); }), err::math::overflow) << seconds;
        EXPECT_EQ(raised_by([&] { time::get_seconds(seconds); }), err::math::overflow) << seconds;
        EXPECT_EQ(raised_by([&] { time::set_minutes(seconds, 0); }), err::math::overflow) << seconds;
    }
    EXPECT_EQ(time::get_hours(7730941129200.0), 2147483647);
    EXPECT_EQ(time::get_hours(-7730941129200.0), -2147483647);
}
