// A fresh runtime for each test, released afterwards.
#pragma once

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/startup.h"

struct RuntimeTest : ::testing::Test {
    void SetUp() override { xol::runtime::init(); }
    void TearDown() override { xol::memory::release_all(); }
};
