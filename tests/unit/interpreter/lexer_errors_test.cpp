#include "lexer_fixture.h"
