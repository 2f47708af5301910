#include <gtest/gtest.h>
#include "cpu/cpu.hpp"
TEST(Smoke, Builds) { SUCCEED(); }
