// The neighbour service tables, empty until their layers initialise.

#include "runtime/neighbours.h"

namespace xol::neighbours {

EvaluatorServices evaluator;
ViewServices view;

}
