// Every browser window holds a script frame: the suite takes the module's type library from the built DLL.
#include "Fixtures.h"

#include <gtest/gtest.h>

namespace {
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new qs::test::ModuleTypeLibraryEnvironment);
} // namespace
