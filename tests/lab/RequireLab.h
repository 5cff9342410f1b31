// The namespace lab inside GoogleTest: a test body that needs one skips without root, but
// fails in CI, where a lab that cannot be built would hide a broken test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testing/Lab.h"

// For test bodies that need a lab: skips when none can be built, but fails in CI.
#define REQUIRE_LAB()                                                   \
    do {                                                                \
        std::string labUnavailable_;                                    \
        if (!::lab::Available(&labUnavailable_)) {                      \
            if (::lab::Required()) {                                    \
                FAIL() << "lab required in CI but " << labUnavailable_; \
            }                                                           \
            GTEST_SKIP() << labUnavailable_;                            \
        }                                                               \
    } while (false)
