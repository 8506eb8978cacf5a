// The date loader: day-month-year and year-month-day with "-" or "/", month names, the compact form
// yyyymmddThhmm, ISO week dates (yyyy-Www-d) and days of the year (yyyy-ddd), each with an optional time
// and zone.

#include "interpreter/lexer/literal_makers.h"
#include "interpreter/lexer/numbers.h"
#include "interpreter/lexer/tokens.h"

namespace xol::lexer {

namespace {

constexpr char const* month_names[] = { "january", "february", "march", "april", "may", "june", "july", "august",
    "september", "october", "november", "december" };
constexpr std::int32_t month_lengths[] = { 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}
bool is_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool leap_year(std::int32_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

struct Cursor {
    char const* position;
    char const* end;

    bool at_end() const { return position >= end; }
    char peek(std::ptrdiff_t ahead = 0) const { return position + ahead < end ? position[ahead] : '\0'; }
    bool take(char c)
    {
        if (peek() != c) return false;
        ++position;
        return true;
    }

    // At most `width` digits (exactly `width` with `exact`); false without one. `count` gets the digits read.
    bool fixed(int width, bool exact, std::int32_t& value, int* count = nullptr)
    {
        std::int32_t error = 0;
        char const* start = position;
        position = read_fixed(position, end, width, exact, value, error);
        if (count) *count = static_cast<int>(position - start);
        return error == 0;
    }

    // An optional "-" and at most 4 digits.
    bool signed_field(std::int32_t& value, int& digits)
    {
        bool const negative = take('-');
        if (!fixed(4, false, value, &digits)) return false;
        if (negative) value = -value;
        return true;
    }

    bool decimal(double& value)
    {
        std::int32_t error = 0;
        position = read_decimal(position, end, value, error);
        return error == 0;
    }

    // A month as up to 2 digits, or 3 to 9 letters that begin its English name (any case; the first month
    // in calendar order that matches).
    bool month(std::int32_t& value)
    {
        if (is_digit(peek())) return fixed(2, false, value);
        char const* start = position;
        while (is_letter(peek())) ++position;
        std::ptrdiff_t const length = position - start;
        if (length < 3 || length > 9) return false;
        for (int month = 0; month < 12; ++month) {
            char const* name = month_names[month];
            bool matches = true;
            for (std::ptrdiff_t i = 0; i < length && matches; ++i) {
                char c = start[i];
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
                matches = name[i] != '\0' && name[i] == c;
            }
            if (matches) {
                value = month + 1;
                return true;
            }
        }
        return false;
    }

    // "Z", or a sign, the zone's hours and optionally its minutes (after a colon, or as two digits when
    // `compact`).
    bool zone(makers::DateParts& date, bool compact)
    {
        if (take('Z')) {
            date.has_zone = true;
            return true;
        }
        char const sign = peek();
        if (sign != '+' && sign != '-') return false;
        ++position;
        std::int32_t hours = 0;
        std::int32_t minutes = 0;
        if (!fixed(2, compact, hours)) return false;
        if (compact) {
            if (!at_end() && !fixed(2, true, minutes)) return false;
        } else if (take(':')) {
            if (!fixed(2, false, minutes)) return false;
        }
        date.zone_hours = hours;
        date.zone_minutes = minutes;
        date.zone_negative = sign == '-';
        date.has_zone = true;
        return true;
    }

    // hh:mm[:ss[.fff]] and an optional zone, to the end of the text.
    bool time(makers::DateParts& date)
    {
        std::int32_t hours = 0;
        std::int32_t minutes = 0;
        double seconds = 0;
        if (!fixed(2, false, hours) || !take(':') || !fixed(2, false, minutes)) return false;
        if (take(':') && !decimal(seconds)) return false;
        if (!at_end() && !zone(date, false)) return false;
        return store_time(date, hours, minutes, seconds);
    }

    // The compact time after "T": hhmm[ss[.fff]] and an optional zone of 2-digit fields.
    bool compact_time(makers::DateParts& date)
    {
        std::int32_t hours = 0;
        std::int32_t minutes = 0;
        double seconds = 0;
        if (!fixed(2, true, hours) || !fixed(2, true, minutes)) return false;
        if (is_digit(peek()) && !decimal(seconds)) return false;
        if (!at_end() && !zone(date, true)) return false;
        return store_time(date, hours, minutes, seconds);
    }

    static bool store_time(makers::DateParts& date, std::int32_t hours, std::int32_t minutes, double seconds)
    {
        if (hours > 23 || minutes > 59 || !(seconds < 60)) return false;
        date.has_time = true;
        date.seconds = hours * 3600.0 + minutes * 60.0 + seconds;
        return true;
    }

    // An optional "T" and a time, to the end of the text.
    bool optional_time(makers::DateParts& date)
    {
        if (at_end()) return true;
        return take('T') && time(date) && at_end();
    }
};

bool valid(makers::DateParts const& date)
{
    if (date.year < -9999 || date.year > 9999 || date.zone_hours > 15 || date.zone_minutes > 59) return false;
    if (date.week != 0 || date.year_day != 0) return true;
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > month_lengths[date.month - 1]) return false;
    return !(date.month == 2 && date.day == 29 && !leap_year(date.year));
}

// Reads the whole token; false when it is no date.
bool read_date(char const* start, char const* end, makers::DateParts& date)
{
    Cursor text { start, end };
    std::int32_t first = 0;
    int first_digits = 0;
    bool const first_negative = text.peek() == '-';
    if (!text.signed_field(first, first_digits)) return false;

    if (is_digit(text.peek())) {
        // yyyymmdd, then "T" and the compact time.
        if (first_digits != 4 || first_negative) return false;
        date.year = first;
        if (!text.fixed(2, true, date.month) || !text.fixed(2, true, date.day)) return false;
        if (text.at_end()) return true;
        return text.take('T') && text.compact_time(date) && text.at_end();
    }
    if (first_digits == 4 && !first_negative && text.peek() == '-' && text.peek(1) == 'W') {
        // yyyy-Www[-d]: the ISO week date.
        text.position += 2;
        date.year = first;
        if (!text.fixed(2, true, date.week) || date.week < 1 || date.week > 53) return false;
        date.weekday = 1;
        if (text.take('-') && (!text.fixed(1, true, date.weekday) || date.weekday < 1 || date.weekday > 7))
            return false;
        return text.optional_time(date);
    }
    if (text.peek() == '-' && is_digit(text.peek(1)) && is_digit(text.peek(2)) && is_digit(text.peek(3))
        && !is_digit(text.peek(4))) {
        // yyyy-ddd: the day of the year.
        ++text.position;
        date.year = first;
        if (!text.fixed(3, true, date.year_day) || date.year_day == 0 || date.year_day > 366) return false;
        return text.optional_time(date);
    }

    char const separator = text.peek();
    if (separator != '-' && separator != '/') return false;
    ++text.position;
    std::int32_t month = 0;
    if (!text.month(month) || !text.take(separator)) return false;
    std::int32_t third = 0;
    int third_digits = 0;
    if (!text.signed_field(third, third_digits)) return false;
    int year_digits;
    if (third < 0 || third > 31 || first <= 99) {
        date.day = first;
        date.year = third;
        year_digits = third_digits;
    } else {
        date.year = first;
        date.day = third;
        year_digits = first_digits;
    }
    // A year of at most two digits is in the century around 2000.
    if (year_digits <= 2 && date.year >= 0 && date.year <= 99) date.year += date.year > 49 ? 1900 : 2000;
    date.month = month;
    if (text.at_end()) return true;
    if (!text.take('/') && !text.take('T')) return false;
    return text.time(date) && text.at_end();
}

}

void load_date(LexerState& state, Token& token, bool load)
{
    makers::DateParts date;
    if (!read_date(reinterpret_cast<char const*>(token.start), reinterpret_cast<char const*>(token.end), date)
        || !valid(date))
        return syntax_error(state, token.start, token.end, type_ids::date);
    if (load) store_value(state, makers::date(date));
}

}
