#include "support/sample.h"

#include <gtest/gtest.h>

#include "installation.h"

namespace testsupport {

void buildSample(const nlohmann::json& description, const std::string& root) {
    std::string error;
    ASSERT_TRUE(mkwin::buildInstallation(description, root, error)) << error;
}

} // namespace testsupport
