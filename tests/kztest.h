// Helpers shared by the unit tests: per-test file names and the records as the driver hands them over.
#pragma once
#include "kzm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// A file name of this test's own, so that tests running side by side in one directory never share one.
inline std::string kzt_file(const char* ext)
{
    const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(t->test_suite_name()) + "_" + t->name() + ext;
}

// The records as the driver allocates them: calloc'ed, so every byte starts at zero.
// writeit releases patterns and samples; call handedover() after it.
struct kzt_records {
    IMPM song = {};
    IMPP* patterns = (IMPP*)calloc(KZM_MAXPATTERNS, sizeof(IMPP));
    IMPS* samples = (IMPS*)calloc(KZM_MAXSLOTS, sizeof(IMPS));
    uint8_t* map = (uint8_t*)calloc(KZM_MAXSLOTS, 1);
    kzt_records() = default;
    kzt_records(const kzt_records&) = delete;
    kzt_records& operator=(const kzt_records&) = delete;
    ~kzt_records()
    {
        free(patterns);
        free(samples);
        free(map);
    }
    void handedover()
    {
        patterns = nullptr;
        samples = nullptr;
    }
};
