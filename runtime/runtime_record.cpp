// The runtime record, filled by start-up.

#include "runtime/runtime_record.h"

namespace xol::runtime {

RuntimeRecord record;

}
