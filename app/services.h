// Filling the services record (runtime/services.h): the one place that says which module provides each
// service the lower layers call upward.
#pragma once

namespace xol::app {

// Fills every entry of the record, then asserts that none is left empty. Start-up calls it first of all;
// a test that put stand-ins in the record calls it to put the real services back.
void fill_services();

}
