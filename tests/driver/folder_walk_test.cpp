#include "test_support.hpp"
TEST(Placeholder, Builds) {}
