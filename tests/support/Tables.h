// Table tests: each row of a parameterised test is named by its `name` member.
#pragma once
#include <gtest/gtest.h>
#include <string>

namespace test_support {

struct RowName {
    template <class Row> std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

} // namespace test_support
