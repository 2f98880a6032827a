#pragma once
// Old name of the shared test helpers, kept until every test includes support/test_support.h.
#include "support/test_support.h"
