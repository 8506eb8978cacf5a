// The members of the system object that datatypes read: system/locale/months (the month names date!
// writes), system/locale/currencies/list (the currency codes money! knows) and system/options/money-digits
// (the decimals money! forms). They live in the language, where scripts read and change them; library/base.xol
// lays them out as the system object holds them. These functions find them there without allocating, and
// answer none! for a member that is missing (no system object yet, or a member taken away).
#pragma once

#include "runtime/cell.h"

namespace xol::system_members {

Cell months(); // system/locale/months
Cell currency_list(); // system/locale/currencies/list
Cell money_digits(); // system/options/money-digits

}
