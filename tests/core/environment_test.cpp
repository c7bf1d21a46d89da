#include "test_support.h"

// One host for the whole program: the registry lock outlives every test.
static ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new coretest::HostEnvironment);
