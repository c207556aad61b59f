// Every browser window holds a script frame, whose script objects are described by the module's type
// library: the suite takes it from the built DLL before any test runs.
#include "Fixtures.h"

#include <gtest/gtest.h>

namespace {

class ModuleTypeLibrary : public ::testing::Environment {
public:
    void SetUp() override { qs::test::UseTheBuiltModulesTypeLibrary(); }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ModuleTypeLibrary);

} // namespace
