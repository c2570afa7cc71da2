// A test in a fresh directory with the desktop program's state at start.
#pragma once
#include <string>

#include "fake_platform.h"
#include "support/test_machine.h"

namespace koru::test {

class FrontendTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The text of a file in the test's directory ("" when missing).
    std::string Text(const std::string& name);
};

}  // namespace koru::test
