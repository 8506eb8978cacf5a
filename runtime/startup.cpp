// Start-up: the runtime's modules in their fixed order.

#include "runtime/startup.h"

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/extres.h"
#include "runtime/handle_slots.h"
#include "runtime/memory.h"
#include "runtime/output.h"
#include "runtime/quit.h"

namespace xol::runtime {

void init()
{
    output_hooks::init();
    conout::init();
    gc::init();
    memory::init();
    extres::init();
    cycles::init();
    // TODO: the datatypes, the tables of actions and natives, the symbol table, the stacks, the lexer,
    // the boot data and the evaluator, as they come.
    slots::init();
}

int start(int, char**)
{
    init();
    quit(0, 0);
}

}
