#include "arrangement/improvisation_rhythm.hpp"

#include <gtest/gtest.h>
